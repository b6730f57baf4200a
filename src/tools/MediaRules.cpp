#include "tools/MediaRules.h"

#include "base/Text.h"
#include "sdp/SDPObject.h"
#include "tools/Plugin.h"

#include <algorithm>
#include <string_view>

namespace mediarules {
namespace {

constexpr std::string_view kDefaultMark = " (*)";
constexpr const char* kCatchAllFormat = "_";

void AddOnce(std::vector<std::string>& items, const std::string& text)
{
    if (std::find(items.begin(), items.end(), text) == items.end())
        items.push_back(text);
}

const std::string& ShownName(const std::string& displayName, const std::string& name)
{
    return displayName.empty() ? name : displayName;
}

bool ForMediaAndProtocol(const CPlugin& rule, const CSDPMedia& entry)
{
    return rule.media == entry.extras->mediaLabel && rule.protocol == entry.protocol;
}

// The rule's format for the first of the entry's formats it has one for.
const CPluginFormat* FormatOf(const CPlugin& rule, const std::string& formatList)
{
    text::CTokenizer formats(formatList, ' ');
    for (std::string_view name; formats.Next(name);)
        for (const CPluginFormat& f : rule.formats)
            if (f.name == name)
                return &f;
    return nullptr;
}

// An attribute's name: its text up to the first ":". Matching whole names
// keeps "rate" from taking over "framerate:25".
std::string_view NameOf(std::string_view attribute)
{
    return attribute.substr(0, attribute.find(':'));
}

// The entry carries the attribute once, as `text`.
void SetAttribute(CSDPMedia& entry, const std::string& name, const std::string& text)
{
    bool placed = false;
    auto& list = entry.attributes;
    for (auto it = list.begin(); it != list.end();) {
        if (NameOf(*it) != name) {
            ++it;
        } else if (!placed) {
            *it++ = text;
            placed = true;
        } else {
            it = list.erase(it);
        }
    }
    if (!placed)
        list.push_back(text);
}

void RemoveAttribute(CSDPMedia& entry, const std::string& name)
{
    CShortTextList& list = entry.attributes;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const CShortText& a) { return NameOf(a) == name; }),
               list.end());
}

bool Carries(const CSDPMedia& entry, const std::string& name)
{
    return std::any_of(entry.attributes.begin(), entry.attributes.end(),
                       [&](const std::string& a) { return NameOf(a) == name; });
}

int FirstIfNone(int found, const std::vector<std::string>& items)
{
    return found >= 0 || items.empty() ? found : 0;
}

} // namespace

int FindNoCase(const std::vector<std::string>& items, const std::string& text)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (text::EqualsNoCase(items[i], text))
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> MediaChoices(const CPluginTable& rules)
{
    std::vector<std::string> items;
    for (const auto& rule : rules)
        if (!rule->media.empty())
            AddOnce(items, rule->media);
    std::sort(items.begin(), items.end());
    return items;
}

int MediaPreselect(const std::vector<std::string>& items, const CSDPMedia& entry)
{
    if (entry.extras->mediaLabel.empty())
        return items.empty() ? -1 : 0;
    return FindNoCase(items, entry.extras->mediaLabel);
}

void StoreMedia(CSDPMedia& entry, const std::string& chosen)
{
    entry.extras.Edit().mediaLabel = chosen;
    entry.media = chosen;
}

std::vector<std::string> ProtocolChoices(const CPluginTable& rules, const CSDPMedia& entry)
{
    std::vector<std::string> items;
    for (const auto& rule : rules) {
        const std::string& shown = ShownName(rule->protocolName, rule->protocol);
        if (rule->media == entry.extras->mediaLabel && !shown.empty())
            AddOnce(items, shown);
    }
    return items;
}

int ProtocolPreselect(const std::vector<std::string>& items, const CSDPMedia& entry)
{
    int found = -1;
    if (!entry.extras->mediaLabel.empty()) {
        found = FindNoCase(items, entry.extras->protocolLabel);
        if (found < 0)
            found = FindNoCase(items, entry.protocol);
    }
    return FirstIfNone(found, items);
}

void StoreProtocol(const CPluginTable& rules, CSDPMedia& entry, const std::string& chosen)
{
    for (const auto& rule : rules) {
        if (rule->media != entry.extras->mediaLabel || (rule->protocolName != chosen && rule->protocol != chosen))
            continue;
        entry.protocol = rule->protocol;
        entry.extras.Edit().protocolLabel = ShownName(rule->protocolName, rule->protocol);
    }
}

std::vector<std::string> FormatChoices(const CPluginTable& rules, const CSDPMedia& entry)
{
    std::vector<std::string> items;
    for (const auto& rule : rules) {
        if (!ForMediaAndProtocol(*rule, entry))
            continue;
        for (const CPluginFormat& f : rule->formats) {
            const std::string& shown = ShownName(f.displayName, f.name);
            if (f.name != kCatchAllFormat && !shown.empty())
                AddOnce(items, shown);
        }
    }
    return items;
}

int FormatPreselect(const std::vector<std::string>& items, const CSDPMedia& entry)
{
    return FirstIfNone(FindNoCase(items, entry.extras->formatLabel), items);
}

void StoreFormat(const CPluginTable& rules, CSDPMedia& entry, const std::string& chosen)
{
    for (const auto& rule : rules) {
        if (!ForMediaAndProtocol(*rule, entry))
            continue;
        for (const CPluginFormat& f : rule->formats) {
            if (f.name == kCatchAllFormat || (f.displayName != chosen && f.name != chosen))
                continue;
            entry.formatList = f.name;
            entry.extras.Edit().formatLabel = ShownName(f.displayName, f.name);
        }
    }
}

std::vector<std::string> ToolChoices(const CPluginTable& rules, const CSDPMedia& entry)
{
    std::vector<std::string> items;
    for (const auto& rule : rules)
        if (!rule->tool.empty() && ForMediaAndProtocol(*rule, entry) && FormatOf(*rule, entry.formatList))
            AddOnce(items, rule->toolName);
    return items;
}

int ToolPreselect(const std::vector<std::string>& items, const CSDPMedia& entry)
{
    return FirstIfNone(FindNoCase(items, entry.extras->toolChoice), items);
}

std::vector<CAttributeChoice> AttributeChoices(const CPluginTable& rules, const CSDPMedia& entry)
{
    // The attributes steer a tool's command line, so the chosen tool's own
    // rule speaks first.
    const CPlugin* chosen = nullptr;
    const CPlugin* withFormat = nullptr;
    const CPlugin* any = nullptr;
    for (const auto& rule : rules) {
        if (!ForMediaAndProtocol(*rule, entry))
            continue;
        if (!any)
            any = rule.get();
        if (!FormatOf(*rule, entry.formatList))
            continue;
        if (!withFormat)
            withFormat = rule.get();
        if (!chosen && rule->toolName == entry.extras->toolChoice)
            chosen = rule.get();
    }
    const CPlugin* rule = chosen ? chosen : withFormat ? withFormat : any;
    std::vector<CAttributeChoice> items;
    if (!rule)
        return items;
    auto add = [&](const std::deque<CPluginAttribute>& list) {
        for (const CPluginAttribute& a : list)
            if (const std::string& shown = ShownName(a.displayName, a.name); !shown.empty())
                items.push_back({&a, shown});
    };
    add(rule->attributes);
    if (const CPluginFormat* format = FormatOf(*rule, entry.formatList))
        add(format->attributes);
    return items;
}

bool IsFreeText(const CPluginAttribute& definition)
{
    return !definition.inputValue.empty();
}

std::vector<std::string> ValueChoices(const CPluginAttribute& definition)
{
    std::vector<std::string> items;
    for (const CPluginValue& v : definition.values)
        items.push_back(ShownName(v.displayName, v.value) + (v.defaultMark.empty() ? "" : std::string(kDefaultMark)));
    if (items.empty() && !IsFreeText(definition))
        items = {"Yes", "No"};
    return items;
}

std::string CurrentValue(const CSDPMedia& entry, const CPluginAttribute& definition)
{
    for (const std::string_view a : entry.attributes) {
        if (NameOf(a) != definition.name)
            continue;
        if (a.size() == definition.name.size())
            return "Yes";
        return std::string(a.substr(definition.name.size() + 1));
    }
    return {};
}

void ApplyDefault(CSDPMedia& entry, const CPluginAttribute& definition)
{
    // Coming back to a definition keeps what the entry already says.
    if (Carries(entry, definition.name))
        return;
    for (const CPluginValue& v : definition.values)
        if (!v.defaultMark.empty() && !v.displayName.empty()) {
            SetAttribute(entry, definition.name, definition.name + ":" + v.value);
            return;
        }
}

void ChooseValue(CSDPMedia& entry, const CPluginAttribute& definition, const std::string& shown)
{
    std::string_view text = shown;
    if (text.ends_with(kDefaultMark))
        text.remove_suffix(kDefaultMark.size());
    for (const CPluginValue& v : definition.values)
        if (v.displayName == text || v.value == text) {
            SetAttribute(entry, definition.name, definition.name + ":" + v.value);
            return;
        }
    if (text == "Yes")
        SetAttribute(entry, definition.name, definition.name);
    else if (text == "No" && definition.values.empty())
        RemoveAttribute(entry, definition.name);
}

void StoreFreeText(CSDPMedia& entry, const CPluginAttribute& definition, const std::string& text)
{
    if (text.empty())
        RemoveAttribute(entry, definition.name);
    else
        SetAttribute(entry, definition.name, definition.name + ":" + text);
}

std::string JoinAttributes(const CSDPMedia& entry, const std::string& separator)
{
    std::string out;
    for (const std::string_view a : entry.attributes)
        out.append(a).append(separator);
    return out;
}

int ProposePort(const std::string& media, int draw)
{
    if (media == "audio")
        return 16384 + (draw & 16382);
    if (media == "whiteboard")
        return 32768 + (draw & 16383);
    if (media == "video")
        return 49152 + (draw & 16382);
    return 49152 + (draw & 16383);
}

} // namespace mediarules
