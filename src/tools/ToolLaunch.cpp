// Choosing the tools of a media entry and building their command lines.
#include "tools/ToolLaunch.h"

#include "base/Text.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool IsExecutableFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec) && access(path.c_str(), X_OK) == 0;
}

std::string ProgramFolder()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

// A macro's value with the first "$(VALUE)" replaced by the attribute value.
void AddMacros(std::vector<CMacroValue>& locals, const std::deque<CPluginMacro>& macros, std::string_view value)
{
    for (const CPluginMacro& m : macros) {
        std::string v = m.value;
        if (size_t at = v.find("$(VALUE)"); at != std::string::npos)
            v.replace(at, 8, value);
        locals.push_back({"$(" + m.name + ")", std::move(v)});
    }
}

// Flags are taken as the plug-in writes them; only "$(SDPFILE)" means something there.
void AppendWords(CToolLaunch& l, std::string_view flags)
{
    AppendExpandedPart(flags, {}, l);
}

// The address as a URL's host: an IPv6 address goes in brackets.
std::string UrlAddress(const std::string& address)
{
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// The first media attribute holding `name`; its value follows the first ":".
const CShortText* MediaAttribute(const CSDPMedia& media, const std::string& name)
{
    for (const CShortText& a : media.attributes)
        if (a.find(name) != std::string::npos)
            return &a;
    return nullptr;
}

const CPluginValue* MatchingValue(const CPluginAttribute& attr, std::string_view valueText)
{
    for (const CPluginValue& v : attr.values)
        if (v.value == valueText)
            return &v;
    return nullptr;
}

} // namespace

std::string SearchExecutableIn(const std::string& name, const std::vector<std::string>& folders)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos) {
        // Relative to nothing but the current folder: not ours to run.
        const fs::path p(name);
        return p.is_absolute() && IsExecutableFile(p) ? p.lexically_normal().string() : std::string();
    }
    for (const std::string& folder : folders) {
        if (folder.empty() || folder.front() != '/')
            continue;
        fs::path p = fs::path(folder) / name;
        if (IsExecutableFile(p))
            return fs::absolute(p).lexically_normal().string();
    }
    return {};
}

std::string SearchExecutable(const std::string& name)
{
    std::vector<std::string> folders{ProgramFolder()};
    // Only absolute PATH entries: an empty or relative one means the current folder.
    if (const char* path = std::getenv("PATH"))
        for (std::string_view dir : text::Tokens(path, ':'))
            if (dir.front() == '/')
                folders.emplace_back(dir);
    return SearchExecutableIn(name, folders);
}

std::vector<std::string> SplitCommandWords(std::string_view part)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : part) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true; // "" is an empty argument of its own
        } else if (c == ' ' && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

void AppendExpandedPart(std::string_view part, const std::vector<CMacroValue>& macros, CToolLaunch& l)
{
    // Occurrences are found in the part's own text only; a value is inserted
    // when the words are put together and never looked at again.
    struct CHit {
        size_t word, at, length;
        const std::string* value; // null: the "$(SDPFILE)" kept for the start
    };
    const std::vector<std::string> words = SplitCommandWords(part);
    std::vector<CHit> hits;
    auto claim = [&](std::string_view macro, const std::string* value, size_t word) {
        for (size_t at = words[word].find(macro); at != std::string::npos; at = words[word].find(macro, at + 1)) {
            bool taken = false;
            for (const CHit& h : hits)
                taken = taken || (h.word == word && at < h.at + h.length && h.at < at + macro.size());
            if (!taken) {
                hits.push_back({word, at, macro.size(), value});
                return true;
            }
        }
        return false;
    };
    for (const CMacroValue& m : macros)
        for (size_t w = 0; w < words.size() && !m.macro.empty(); ++w)
            if (claim(m.macro, &m.value, w))
                break;
    for (size_t w = 0; w < words.size(); ++w)
        claim(kSdpFileMacro, nullptr, w);
    std::sort(hits.begin(), hits.end(),
              [](const CHit& a, const CHit& b) { return a.word != b.word ? a.word < b.word : a.at < b.at; });

    auto hit = hits.begin();
    for (size_t w = 0; w < words.size(); ++w) {
        const std::string_view word = words[w];
        std::string out;
        size_t from = 0, sdpAt = std::string::npos;
        for (; hit != hits.end() && hit->word == w; ++hit) {
            out += text::AsUtf8(word.substr(from, hit->at - from));
            if (hit->value) {
                out += text::AsUtf8(*hit->value);
            } else {
                sdpAt = out.size();
                out += kSdpFileMacro;
            }
            from = hit->at + hit->length;
        }
        out += text::AsUtf8(word.substr(from));
        l.arguments.push_back(std::move(out));
        l.sdpFileAt.push_back(sdpAt);
    }
}

void ExpandToolCommand(const CSDPObject& s, const std::shared_ptr<CPlugin>& plugin, const CPluginFormat& f,
                       const CSDPMedia& m, CToolLaunch& l, const ExecutableLocator& locate)
{
    const CPlugin& p = *plugin;
    // Command-line quoting of the name and address is argv's business now.
    std::vector<CMacroValue> macros{
        {"$(TTL)", std::to_string(m.ttl)},
        {"$(ADDRESS)", m.address},
        {"$(PORT)", m.port},
        {"$(PROTO)", m.protocol},
        {"$(FMT)", f.name},
        {"$(SESSNAME)", s.name},
        {"$(CHAN)", std::to_string(s.randomTag)},
        {"$(YOUREMAIL)", kToolContactEmail},
        // For URLs: "[v6]" and the port without its "/count".
        {"$(URLADDRESS)", UrlAddress(m.address)},
        {"$(BASEPORT)", m.port.substr(0, m.port.find('/'))},
    };
    l.formatName = f.displayName;
    l.format = &f;

    for (const CPluginAttribute& a : f.attributes) {
        const CShortText* attr = MediaAttribute(m, a.name);
        if (!attr) {
            for (const CPluginNoAttr& n : f.noAttributes)
                if (n.name == a.name)
                    AppendWords(l, n.flags);
            continue;
        }
        size_t colon = attr->find(':');
        if (colon == std::string::npos)
            continue;
        if (const CPluginValue* v = MatchingValue(a, std::string_view(*attr).substr(colon + 1))) {
            AppendWords(l, v->flags);
            AddMacros(macros, v->macros, v->value);
        }
    }
    AppendWords(l, f.flags);

    for (const CPluginAttribute& a : p.attributes) {
        const CShortText* attr = MediaAttribute(m, a.name);
        size_t colon = attr ? attr->find(':') : std::string::npos;
        if (colon == std::string::npos)
            continue;
        std::string_view valueText = std::string_view(*attr).substr(colon + 1);
        if (const CPluginValue* v = MatchingValue(a, valueText)) {
            AppendWords(l, v->flags);
            AddMacros(macros, v->macros, v->value);
        } else {
            AddMacros(macros, a.macros, valueText);
        }
    }

    for (const std::string& part : p.commandLineParts)
        AppendExpandedPart(std::string_view(part).substr(0, kMaxCommandPart), macros, l);

    l.path = locate(p.foundPath.empty() ? p.tool : p.foundPath);
    if (!l.path.empty()) {
        l.arguments.push_back(l.path);
        l.sdpFileAt.push_back(std::string::npos);
    }
    l.plugin = plugin;
}

namespace {

// A format token belongs to the groups named after it; only a token that no
// group of the media and protocol names falls to the "_" group. So the
// picker's row of a format lists exactly the tools that may start for it.
bool TokenHasOwnGroup(const CToolRegistry& registry, const CSDPMedia& m, std::string_view token)
{
    for (const CMediaListEntry& g : registry.groups)
        if (g.media == m.media && g.protocol == m.protocol && g.format != "_" && text::EqualsNoCase(g.format, token))
            return true;
    return false;
}

const CToolEntry* SelectedAt(const CMediaListEntry& g, int32_t order)
{
    for (const CToolEntry& t : g.tools)
        if (t.selected && t.order == order)
            return &t;
    return nullptr;
}

} // namespace

bool FindTools(const CSDPObject& s, const CSDPMedia& m, const CToolRegistry& registry,
               const ExecutableLocator& locate, std::vector<CToolLaunch>& out)
{
    const size_t before = out.size();
    const std::string_view formats = std::string_view(m.formatList).substr(0, kMaxFormatList);
    const auto tokens = text::Tokens(formats, ' ');
    for (const CMediaListEntry& g : registry.groups) {
        if (g.media != m.media || g.protocol != m.protocol)
            continue;
        for (std::string_view token : tokens) {
            const bool passes = g.format == "_" ? !TokenHasOwnGroup(registry, m, token)
                                                : text::EqualsNoCase(g.format, token);
            if (!passes)
                continue;
            for (int32_t p = 0; p < static_cast<int32_t>(g.tools.size()); ++p) {
                const CToolEntry* entry = SelectedAt(g, p);
                if (!entry || !entry->plugin)
                    continue;
                // The plug-in format that made this group: its selection is the one that counts.
                const CPluginFormat* format = nullptr;
                for (const CPluginFormat& f : entry->plugin->formats)
                    if (f.name == g.format) {
                        format = &f;
                        break;
                    }
                if (!format)
                    continue;
                // Two tokens can lead to one group ("96 97" both to "_"):
                // the same start listed twice helps nobody.
                bool listed = false;
                for (size_t i = before; i < out.size(); ++i)
                    listed = listed || (out[i].plugin == entry->plugin && out[i].format == format);
                if (listed)
                    continue;
                CToolLaunch launch;
                ExpandToolCommand(s, entry->plugin, *format, m, launch, locate);
                out.push_back(std::move(launch));
            }
        }
    }
    return out.size() > before;
}

std::string SdpFilePath(const std::string& installDir, const std::string& sessionName)
{
    std::string name = sessionName;
    for (char& c : name) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum)
            c = '_';
    }
    if (name.size() > kMaxSdpFileStem) {
        // FNV-1a over the whole name keeps long names that share a beginning apart.
        uint64_t hash = 0xcbf29ce484222325ull;
        for (unsigned char c : sessionName)
            hash = (hash ^ c) * 0x100000001b3ull;
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
        name.resize(kMaxSdpFileStem - 17);
        name += '_';
        name += hex;
    }
    return (fs::path(installDir) / "tmp" / (name + ".sdp")).string();
}

std::vector<std::string> CommandArguments(const CToolLaunch& launch, const std::string& sdpFile, bool* asksSdpFile)
{
    std::vector<std::string> args = launch.arguments;
    if (!launch.path.empty() && !args.empty())
        args.pop_back();
    bool asks = false;
    for (size_t i = 0; i < args.size() && i < launch.sdpFileAt.size(); ++i) {
        if (const size_t at = launch.sdpFileAt[i]; at != std::string::npos) {
            args[i].replace(at, std::string_view(kSdpFileMacro).size(), sdpFile);
            asks = true;
        }
    }
    if (asksSdpFile)
        *asksSdpFile = asks;
    return args;
}

bool ToolExecutableFound(const CPlugin& plugin, const ExecutableLocator& locate)
{
    return !locate(plugin.foundPath.empty() ? plugin.tool : plugin.foundPath).empty();
}
