#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the program sends to the plug-in and tool database, and how it reads
// the replies. Plain byte strings; the HTTP transfer itself is a port
// (OnlineTransport) so that this logic runs without a network.

inline constexpr const char* kOnlineAgent = "Talmira BETA 1.0";
inline constexpr const char* kProgramName = "Talmira";
// The program's version ("1.00 BETA"), as the build names it.
extern const char* const kProgramVersion;
// The web search engine the "Sorry" messages point to.
inline constexpr const char* kSearchEngineHost = "duckduckgo.com";
// An installer is copied in blocks of this size.
inline constexpr size_t kInstallerBlock = 102400;

// The program's texts.
inline constexpr const char* kOnlineProblem =
    "There seems to be a problem with the Online database.\nPlease retry later.";
inline constexpr const char* kOpenToolPage =
    "I will now open a webpage where you can download the tool.\nIf after installation the tool is still not "
    "available it is advised to try to locate the tool on your disk.";
inline constexpr const char* kNotAWebPage =
    "The Online Tool DataBase answered with an address that is not a web page (only http and https are opened):\n";
inline constexpr const char* kNoBrowser =
    "I was unable to find a Web Browser on your system.\nThe tool you requested can be found at:\n";
inline constexpr const char* kPluginsUpToDate = "The plugins for this media/proto/format combination is up-to-date";
inline constexpr const char* kPluginsDownloaded = "the Plugin(s) you selected have been downloaded.";
inline constexpr const char* kNewVersionOffer =
    "A new version of this program is available.\nDo you want me to download it? You then install it yourself.";
inline constexpr const char* kSelectPluginCaption = "Select the plugin you want to install";
inline constexpr const char* kSearchingCaption = "Searching...";
std::string UnknownToolMessage();
std::string NoPluginMessage();
// Ours: a download the program does not keep.
std::string RefusedNameMessage(std::string_view url);
std::string RefusedPluginMessage(std::string_view name);
// Ours: where the installer was put (it is not run here), with the offer to open its folder.
std::string InstallerSavedMessage(std::string_view path);

// The progress captions, in the order a request reports them; the progress
// bar runs from 0 to kOnlineProgressSteps.
inline constexpr int kOnlineProgressSteps = 12;
enum class EOnlineProgress {
    Resolving, Resolved, Connecting, Connected, Sending, Sent, Receiving, Received, Closing, Closed,
};
const char* OnlineProgressCaption(EOnlineProgress step);

// A query value: blank -> "+", bytes 1..31 and 127 -> "%" + two upper-case
// hex digits, the characters "#%&+;<=> and double quote -> "%XX",
// everything else (bytes above 127 included) kept.
std::string EncodeQueryValue(std::string_view value);

// Paths and queries of the three look-ups. The version values go out as given.
std::string ToolLookupPath(std::string_view tool);
std::string PluginLookupPath(std::string_view media, std::string_view protocol, std::string_view format);
std::string VersionCheckPath(std::string_view program, std::string_view version);
// "http://" + host + path; none when the host is not a plain HOST[:PORT]
// (empty, or with characters that would change the URL's meaning).
std::optional<std::string> LookupUrl(std::string_view host, std::string_view pathAndQuery);
bool IsValidDatabaseHost(std::string_view host);

// The reply body as lines, line ends (LF, CRLF) removed. A last line
// without line end counts; nothing after a final line end does.
std::vector<std::string_view> ReplyLines(std::string_view body);
// Tool and version replies: the lines joined without separator.
std::string JoinedReply(std::string_view body);

// One plug-in the database offers.
struct COnlinePlugin {
    std::string name;
    std::string url;
    std::string description;
    std::string date;
};
// "name|url|description|date" per non-empty line; the date runs to the end
// of the line. Lines with fewer than three separators are skipped.
std::vector<COnlinePlugin> ParsePluginReply(std::string_view body);

// A date as year, month, day. "M/D/Y" (years below 100 count from 1900);
// an empty date is 1/1/1971. The installed rule files write "YYYY-MM-DD",
// which is read too. None for anything else.
struct COnlineDate {
    int year = 0, month = 0, day = 0;
    auto operator<=>(const COnlineDate&) const = default;
};
std::optional<COnlineDate> ParseOnlineDate(std::string_view date);
// True unless both dates are readable and `offered` is not later.
bool IsNewerPlugin(std::string_view offered, std::string_view installed);

// The part of a URL after its last "/" (query and fragment left out), when
// it is a plain file name: not empty, not "." or "..", no separator or
// control byte. Anything else is refused.
std::optional<std::string> FileNameFromUrl(std::string_view url);
bool IsPlainFileName(std::string_view name);

// A downloaded plug-in file as it is stored: every line ends with CR LF.
std::string PluginFileText(std::string_view body);
// Whether the plug-in reader accepts `text` as a rule file without any
// message: a name the loader reads, no "@define:", no invalid element, and
// a media, protocol and tool. `why` says what is wrong.
bool CheckPluginFile(std::string_view name, std::string_view text, std::string* why = nullptr);
