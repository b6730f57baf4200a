// Choosing the tools of a media entry and building their command lines.
#include "tools/ToolLaunch.h"

#include "base/Text.h"
#include "sdp/SDPObject.h"

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

struct CMacroPair {
    std::string name;
    std::string value;
};

// A macro's value with the first "$(VALUE)" replaced by the attribute value.
void AddMacros(std::vector<CMacroPair>& locals, const std::deque<CPluginMacro>& macros, std::string_view value)
{
    for (const CPluginMacro& m : macros) {
        std::string v = m.value;
        if (size_t at = v.find("$(VALUE)"); at != std::string::npos)
            v.replace(at, 8, value);
        locals.push_back({m.name, std::move(v)});
    }
}

void AppendWords(std::vector<std::string>& args, std::string_view flags)
{
    for (std::string& w : SplitCommandWords(flags))
        args.push_back(std::move(w));
}

// The first media attribute holding `name`; its value follows the first ":".
const std::string* MediaAttribute(const CSDPMedia& media, const std::string& name)
{
    for (const std::string& a : media.attributes)
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
        std::error_code ec;
        fs::path p = fs::absolute(name, ec);
        return !ec && IsExecutableFile(p) ? p.lexically_normal().string() : std::string();
    }
    for (const std::string& folder : folders) {
        if (folder.empty())
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
    std::error_code ec;
    folders.push_back(fs::current_path(ec).string());
    if (const char* path = std::getenv("PATH"))
        for (std::string_view dir : text::Tokens(path, ':'))
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

bool ReplaceFirstInWords(std::vector<std::string>& words, std::string_view macro, std::string_view value)
{
    for (std::string& w : words) {
        if (size_t at = w.find(macro); at != std::string::npos) {
            w.replace(at, macro.size(), value);
            return true;
        }
    }
    return false;
}

void ExpandToolCommand(const CSDPObject& s, const std::shared_ptr<CPlugin>& plugin, const CPluginFormat& f,
                       const CSDPMedia& m, CToolLaunch& l, const ExecutableLocator& locate)
{
    const CPlugin& p = *plugin;
    std::vector<CMacroPair> locals;
    l.formatName = f.displayName;
    l.format = &f;

    for (const CPluginAttribute& a : f.attributes) {
        const std::string* attr = MediaAttribute(m, a.name);
        if (!attr) {
            for (const CPluginNoAttr& n : f.noAttributes)
                if (n.name == a.name)
                    AppendWords(l.arguments, n.flags);
            continue;
        }
        size_t colon = attr->find(':');
        if (colon == std::string::npos)
            continue;
        if (const CPluginValue* v = MatchingValue(a, std::string_view(*attr).substr(colon + 1))) {
            AppendWords(l.arguments, v->flags);
            AddMacros(locals, v->macros, v->value);
        }
    }
    AppendWords(l.arguments, f.flags);

    for (const CPluginAttribute& a : p.attributes) {
        const std::string* attr = MediaAttribute(m, a.name);
        size_t colon = attr ? attr->find(':') : std::string::npos;
        if (colon == std::string::npos)
            continue;
        std::string_view valueText = std::string_view(*attr).substr(colon + 1);
        if (const CPluginValue* v = MatchingValue(a, valueText)) {
            AppendWords(l.arguments, v->flags);
            AddMacros(locals, v->macros, v->value);
        } else {
            AddMacros(locals, a.macros, valueText);
        }
    }

    // Command-line quoting of the name and address is argv's business now.
    const std::pair<const char*, std::string> builtins[] = {
        {"$(TTL)", std::to_string(m.ttl)},
        {"$(ADDRESS)", m.address},
        {"$(PORT)", m.port},
        {"$(PROTO)", m.protocol},
        {"$(FMT)", f.name},
        {"$(SESSNAME)", s.name},
        {"$(CHAN)", std::to_string(s.randomTag)},
        {"$(YOUREMAIL)", kToolContactEmail},
    };
    for (const std::string& part : p.commandLineParts) {
        std::vector<std::string> words = SplitCommandWords(std::string_view(part).substr(0, kMaxCommandPart));
        for (const auto& [macro, value] : builtins)
            ReplaceFirstInWords(words, macro, value);
        for (const CMacroPair& local : locals)
            ReplaceFirstInWords(words, "$(" + local.name + ")", local.value);
        for (std::string& w : words)
            l.arguments.push_back(std::move(w));
    }

    l.path = locate(p.foundPath.empty() ? p.tool : p.foundPath);
    if (!l.path.empty())
        l.arguments.push_back(l.path);
    l.plugin = plugin;
}

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
            if (!text::EqualsNoCase(g.format, token) && g.format != "_")
                continue;
            for (int32_t p = 0; p < static_cast<int32_t>(g.tools.size()); ++p) {
                const CToolEntry* entry = nullptr;
                for (const CToolEntry& t : g.tools)
                    if (t.selected && t.order == p) {
                        entry = &t;
                        break;
                    }
                if (!entry || !entry->plugin)
                    continue;
                // A plug-in format "_" serves every format its group lets through.
                const CPluginFormat* format = nullptr;
                for (const CPluginFormat& f : entry->plugin->formats)
                    if (text::EqualsNoCase(f.name, token)) {
                        format = &f;
                        break;
                    }
                if (!format && g.format == "_")
                    for (const CPluginFormat& f : entry->plugin->formats)
                        if (f.name == "_") {
                            format = &f;
                            break;
                        }
                if (!format)
                    continue;
                // The "_" group offers a tool the format's own group already
                // offered; the same start listed twice helps nobody.
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
    return (fs::path(installDir) / "tmp" / (name + ".sdp")).string();
}

std::vector<std::string> CommandArguments(const CToolLaunch& launch, const std::string& sdpFile, bool* asksSdpFile)
{
    std::vector<std::string> args = launch.arguments;
    if (!launch.path.empty() && !args.empty())
        args.pop_back();
    bool asks = false;
    for (std::string& a : args) {
        if (size_t at = a.find(kSdpFileMacro); at != std::string::npos) {
            a.replace(at, std::string_view(kSdpFileMacro).size(), sdpFile);
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
