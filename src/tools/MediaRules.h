#pragma once
#include <string>
#include <vector>

class CPluginTable;
struct CPlugin;
struct CPluginAttribute;
struct CSDPMedia;

// What the media wizard offers on its pages, read from the loaded plug-in
// rules, and what each choice writes into the media entry being edited. The
// entry's labels (media, protocol, format) carry the user's earlier choices
// from page to page.
namespace mediarules {

// The index of the item equal to `text` ignoring case, -1 when none is.
int FindNoCase(const std::vector<std::string>& items, const std::string& text);

// Every media name of the rules, once each, in alphabetical order.
std::vector<std::string> MediaChoices(const CPluginTable& rules);
// The item the media page starts on: the entry's media label, the first
// item for an entry without one.
int MediaPreselect(const std::vector<std::string>& items, const CSDPMedia& entry);
void StoreMedia(CSDPMedia& entry, const std::string& chosen);

// The protocols of the rules for the entry's media, by display name.
std::vector<std::string> ProtocolChoices(const CPluginTable& rules, const CSDPMedia& entry);
int ProtocolPreselect(const std::vector<std::string>& items, const CSDPMedia& entry);
void StoreProtocol(const CPluginTable& rules, CSDPMedia& entry, const std::string& chosen);

// The payload formats of the rules for the entry's media and protocol. The
// catch-all format "_" of a rule names no payload and is not offered.
std::vector<std::string> FormatChoices(const CPluginTable& rules, const CSDPMedia& entry);
int FormatPreselect(const std::vector<std::string>& items, const CSDPMedia& entry);
void StoreFormat(const CPluginTable& rules, CSDPMedia& entry, const std::string& chosen);

// The tools that handle the entry's media, protocol and format.
std::vector<std::string> ToolChoices(const CPluginTable& rules, const CSDPMedia& entry);
int ToolPreselect(const std::vector<std::string>& items, const CSDPMedia& entry);

// One attribute the chosen rule lets the user set, with the text it is listed by.
struct CAttributeChoice {
    const CPluginAttribute* definition = nullptr;
    std::string text;
};
// The rule's attribute definitions, then its format's. The rule is the one of
// the chosen tool when it handles the format, else the first that does, else
// the first for the media and protocol.
std::vector<CAttributeChoice> AttributeChoices(const CPluginTable& rules, const CSDPMedia& entry);

// A definition that takes a typed value instead of a choice.
bool IsFreeText(const CPluginAttribute& definition);
// The texts of the values list: each choice, the default one marked " (*)";
// "Yes" and "No" for a plain flag.
std::vector<std::string> ValueChoices(const CPluginAttribute& definition);
// The current value of the definition in the entry: the text after "name:",
// "Yes" for the bare flag, empty when the entry does not carry it.
std::string CurrentValue(const CSDPMedia& entry, const CPluginAttribute& definition);
// Selecting a definition: its default choice goes into the entry when the
// entry does not carry the attribute yet.
void ApplyDefault(CSDPMedia& entry, const CPluginAttribute& definition);
// Selecting a value text of ValueChoices.
void ChooseValue(CSDPMedia& entry, const CPluginAttribute& definition, const std::string& text);
// A typed value; an empty text takes the attribute away.
void StoreFreeText(CSDPMedia& entry, const CPluginAttribute& definition, const std::string& text);

// The entry's attributes, each followed by `separator`.
std::string JoinAttributes(const CSDPMedia& entry, const std::string& separator);

// The port proposed for a new entry of this media, from a draw in 0..32767:
// even ports for audio and video, as RTP wants them.
int ProposePort(const std::string& media, int draw);

} // namespace mediarules
