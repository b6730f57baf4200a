#pragma once
#include "tools/OnlineRequests.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Prompter;
struct CToolEntry;

// How one transfer ended.
enum class EOnlineStatus {
    Ok,
    HttpError,    // a status outside 200..299
    NetworkError, // `errorText` holds the system's text
    TooLarge,     // more than the transfer's byte limit
    TimedOut,
    Cancelled,    // asked to stop
    Refused,      // not sent: a URL we do not fetch
};

struct COnlineReply {
    EOnlineStatus status = EOnlineStatus::Refused;
    int httpStatus = 0;
    std::string errorText;
};

// Bounds of one transfer. 0 means no bound.
struct COnlineLimits {
    uint64_t maxBytes = 0;
    int idleTimeoutMs = 0;  // no byte for this long ends the transfer
    int totalTimeoutMs = 0; // the whole transfer, redirects included
};

// The HTTP GET, carried by the platform (QNetworkAccessManager). It returns
// when the transfer has ended; a GUI keeps handling events meanwhile.
class OnlineTransport {
public:
    using BodySink = std::function<bool(std::string_view block)>;
    virtual ~OnlineTransport() = default;
    // Blocks of a 2xx body go to `sink` (false ends the transfer as a
    // network error); a body longer than limits.maxBytes fails as TooLarge.
    virtual COnlineReply Get(const std::string& url, const COnlineLimits& limits, const BodySink& sink) = 0;
};

// "Select the plugin you want to install": the offered plug-ins sorted by
// name; the chosen indexes into that list, none on Cancel.
class PluginChooser {
public:
    virtual ~PluginChooser() = default;
    virtual std::optional<std::vector<size_t>> ChoosePlugins(const std::vector<COnlinePlugin>& offered) = 0;
};

// Opens a web page or a folder in the desktop's program for it.
using UrlOpener = std::function<bool(const std::string& url)>;
// Whether a URL names a web page (http or https), the only kind we open.
bool IsWebPageUrl(std::string_view url);

enum class EOnlineResult { Ok, Cancelled, Failed };

struct COnlineSettings {
    std::string host;       // HOST[:PORT]; empty: no database
    std::string installDir; // plug-ins and installers go below it
    COnlineLimits lookupLimits{std::uint64_t{1} << 20, 15000, 30000};
    COnlineLimits versionLimits{std::uint64_t{64} << 10, 5000, 5000}; // start-up must not wait long
    COnlineLimits pluginLimits{0, 15000, 60000};                      // maxBytes: the loader's limit
    COnlineLimits installerLimits{std::uint64_t{512} << 20, 30000, 0};
};

// One request with the messages of the "Searching..." dialog: the dialog
// shows progress and calls the transport's cancel; this decides what is
// asked, what is kept and what is said.
class COnlineSearch {
public:
    COnlineSearch(OnlineTransport& transport, Prompter& prompter, COnlineSettings settings);

    // The bare requests. A failure shows the problem message (or the
    // network error text) unless `silent`; the text is also kept for LastFailure.
    EOnlineResult LookupTool(const std::string& tool, std::string* url, bool silent = false);
    EOnlineResult LookupPlugins(const std::string& media, const std::string& protocol, const std::string& format,
                                std::vector<COnlinePlugin>* offered, bool silent = false);
    EOnlineResult CheckVersion(std::string* installerUrl); // always silent
    // Into <install>/plugins/<name from the URL>, after the plug-in reader
    // accepted it; `keptPath` gets the file's path.
    EOnlineResult DownloadPlugin(const std::string& url, std::string* keptPath, bool silent = false);
    // Into <install>/tmpInstall/<name from the URL>.
    EOnlineResult DownloadInstaller(const std::string& url, std::string* path, bool silent = false);
    const std::string& LastFailure() const { return m_lastFailure; }

    // The dialogs' whole runs. True when the search ended with OK: the
    // caller then reloads the plug-ins.
    bool SearchTool(const std::string& tool, const UrlOpener& openBrowser);
    // `installed`: the Tool Picker group's tools; offers not newer than the
    // installed plug-in of the same tool name are dropped.
    bool SearchPlugins(const std::string& media, const std::string& protocol, const std::string& format,
                       const std::vector<CToolEntry>* installed, PluginChooser& chooser);
    // Start-up: silent check; on an offered update, ask, download the
    // installer and offer to open its folder (it is not run here). Returns
    // the installer's path when one was downloaded.
    std::optional<std::string> OfferUpdate(const UrlOpener& openFolder);

private:
    EOnlineResult Fetch(const std::string& url, const COnlineLimits& limits, std::string* body, bool silent);
    EOnlineResult Ask(const std::string& pathAndQuery, const COnlineLimits& limits, std::string* body, bool silent);
    EOnlineResult Finish(const COnlineReply& reply, bool silent);
    EOnlineResult Fail(const std::string& text, bool silent);
    std::optional<std::string> Url(const std::string& pathAndQuery, bool silent);

    OnlineTransport& m_transport;
    Prompter& m_prompter;
    COnlineSettings m_settings;
    std::string m_lastFailure;
};

// The mode-2 filter of the Tool Picker: offers whose name is a tool of the
// group (byte for byte) and that are not newer than its plug-in go.
std::vector<COnlinePlugin> DropInstalledPlugins(std::vector<COnlinePlugin> offered,
                                                const std::vector<CToolEntry>& installed);
