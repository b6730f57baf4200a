// Requests to the plug-in and tool database and the readers of its replies.
#include "tools/OnlineRequests.h"

#include "base/Prompter.h"
#include "tools/Plugin.h"

const char* const kProgramVersion = TALMIRA_VERSION;

namespace {

// Digits only, at most 9 of them (no overflow), optional blanks around.
std::optional<int> Number(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Three numbers separated by exactly two `sep`.
std::optional<std::vector<int>> ThreeNumbers(std::string_view s, char sep)
{
    const size_t a = s.find(sep);
    const size_t b = a == std::string_view::npos ? a : s.find(sep, a + 1);
    if (b == std::string_view::npos || s.find(sep, b + 1) != std::string_view::npos)
        return std::nullopt;
    auto x = Number(s.substr(0, a)), y = Number(s.substr(a + 1, b - a - 1)), z = Number(s.substr(b + 1));
    if (!x || !y || !z)
        return std::nullopt;
    return std::vector<int>{*x, *y, *z};
}

// A counting prompter: any message of the reader makes a file unacceptable.
class CCountingPrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string&, EPromptButtons, EPromptIcon, const std::string&) override
    {
        ++count;
        return EPromptAnswer::Ok;
    }
    int count = 0;
};

} // namespace

std::string UnknownToolMessage()
{
    return std::string("Sorry, but the online database doesn't contain a tool with this name!\nMaybe you could have a "
                       "look at the description of this session or use a search engine like ") +
           kSearchEngineHost + " to locate the tool.";
}

std::string NoPluginMessage()
{
    return std::string("Sorry, but the online database doesn't contain a plugin for this media/proto/format "
                       "combination!\nMaybe you could have a look at the description of this session or use a search "
                       "engine like ") +
           kSearchEngineHost + " to locate the plugin.";
}

std::string RefusedNameMessage(std::string_view url)
{
    return "The download from\n" + std::string(url) + "\nwas refused: it does not name a plain file.";
}

std::string RefusedPluginMessage(std::string_view name)
{
    return "The downloaded file " + std::string(name) + " is not a valid plugin and was not installed.";
}

std::string InstallerSavedMessage(std::string_view path)
{
    return "The new version has been downloaded to:\n" + std::string(path) +
           "\nPlease install it yourself. Do you want me to open its folder?";
}

const char* OnlineProgressCaption(EOnlineProgress step)
{
    switch (step) {
    case EOnlineProgress::Resolving: return "Looking up site...";
    case EOnlineProgress::Resolved: return "Found site...";
    case EOnlineProgress::Connecting: return "Connecting...";
    case EOnlineProgress::Connected: return "Connected...";
    case EOnlineProgress::Sending: return "Sending Request...";
    case EOnlineProgress::Sent: return "Request Sent...";
    case EOnlineProgress::Receiving: return "Receiving Response...";
    case EOnlineProgress::Received: return "Received Response...";
    case EOnlineProgress::Closing: return "Closing the connection...";
    case EOnlineProgress::Closed: return "Connection Closed.";
    }
    return "";
}

std::string EncodeQueryValue(std::string_view value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            break; // the value ends there, as the C string it once was
        if (c == ' ') {
            out += '+';
        } else if (c < 32 || c >= 127 || c == '"' || c == '#' || c == '%' || c == '&' || c == '+' || c == ';' ||
                   c == '<' || c == '=' || c == '>') {
            // Bytes of 0x80 and above go as they are: a URL class would
            // otherwise take a byte that is no UTF-8 for U+FFFD.
            // Always two digits: "%9" followed by a hex digit would read as another byte.
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string ToolLookupPath(std::string_view tool) { return "/scripts/tool.idc?tool=" + EncodeQueryValue(tool); }

std::string PluginLookupPath(std::string_view media, std::string_view protocol, std::string_view format)
{
    return "/scripts/plugin.idc?Media=" + EncodeQueryValue(media) + "&Proto=" + EncodeQueryValue(protocol) +
           "&Fmt=" + EncodeQueryValue(format);
}

std::string VersionCheckPath(std::string_view program, std::string_view version)
{
    return "/scripts/versioncheck.idc?tool=" + std::string(program) + "&ver=" + std::string(version);
}

bool IsValidDatabaseHost(std::string_view host)
{
    if (host.empty() || host.size() > 255)
        return false;
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
        if (!ok)
            return false;
    }
    return host.front() != ':';
}

std::optional<std::string> LookupUrl(std::string_view host, std::string_view pathAndQuery)
{
    if (!IsValidDatabaseHost(host))
        return std::nullopt;
    return "http://" + std::string(host) + std::string(pathAndQuery);
}

std::vector<std::string_view> ReplyLines(std::string_view body)
{
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < body.size()) {
        size_t lf = body.find('\n', pos);
        std::string_view line = body.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos)
            break;
        pos = lf + 1;
    }
    return lines;
}

std::string JoinedReply(std::string_view body)
{
    std::string out;
    for (std::string_view line : ReplyLines(body))
        out += line;
    return out;
}

std::vector<COnlinePlugin> ParsePluginReply(std::string_view body)
{
    std::vector<COnlinePlugin> plugins;
    for (std::string_view line : ReplyLines(body)) {
        if (line.empty())
            continue;
        size_t at[3];
        size_t from = 0;
        bool complete = true;
        for (size_t& a : at) {
            a = line.find('|', from);
            if (a == std::string_view::npos) {
                complete = false;
                break;
            }
            from = a + 1;
        }
        if (!complete)
            continue;
        plugins.push_back(COnlinePlugin{std::string(line.substr(0, at[0])),
                                        std::string(line.substr(at[0] + 1, at[1] - at[0] - 1)),
                                        std::string(line.substr(at[1] + 1, at[2] - at[1] - 1)),
                                        std::string(line.substr(at[2] + 1))});
    }
    return plugins;
}

std::optional<COnlineDate> ParseOnlineDate(std::string_view date)
{
    if (date.empty())
        return COnlineDate{1971, 1, 1};
    if (auto mdy = ThreeNumbers(date, '/')) {
        const int year = (*mdy)[2] < 100 ? (*mdy)[2] + 1900 : (*mdy)[2];
        return COnlineDate{year, (*mdy)[0], (*mdy)[1]};
    }
    if (auto ymd = ThreeNumbers(date, '-'))
        return COnlineDate{(*ymd)[0], (*ymd)[1], (*ymd)[2]};
    return std::nullopt;
}

bool IsNewerPlugin(std::string_view offered, std::string_view installed)
{
    const auto a = ParseOnlineDate(offered), b = ParseOnlineDate(installed);
    return !a || !b || *a > *b;
}

bool IsPlainFileName(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 32 || c == 127 || c == '/' || c == '\\')
            return false;
    }
    return true;
}

std::optional<std::string> FileNameFromUrl(std::string_view url)
{
    url = url.substr(0, url.find('#'));
    url = url.substr(0, url.find('?'));
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return std::nullopt;
    const size_t pathStart = url.find('/', scheme + 3);
    if (pathStart == std::string_view::npos)
        return std::nullopt; // only a host: no file named
    const std::string_view name = url.substr(url.rfind('/') + 1);
    if (!IsPlainFileName(name))
        return std::nullopt;
    return std::string(name);
}

std::string PluginFileText(std::string_view body)
{
    std::string out;
    out.reserve(body.size() + body.size() / 16);
    for (std::string_view line : ReplyLines(body)) {
        out += line;
        out += "\r\n";
    }
    return out;
}

bool CheckPluginFile(std::string_view name, std::string_view text, std::string* why)
{
    auto fail = [why](const char* reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!IsPlainFileName(name) || name.rfind(kPluginPrefix, 0) != 0)
        return fail("not a plug-in file name");
    if (text.size() > kMaxPluginFileSize)
        return fail("too large");
    CCountingPrompter prompter;
    CPluginParser parser(prompter);
    CPlugin plugin;
    parser.BeginFile(plugin);
    if (!parser.ParseText(text) || prompter.count > 0)
        return fail("the plug-in reader refuses it");
    if (plugin.media.empty() || plugin.protocol.empty() || plugin.tool.empty())
        return fail("no media, protocol or tool");
    return true;
}
