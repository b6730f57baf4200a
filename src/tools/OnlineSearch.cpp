// The requests to the plug-in and tool database with their messages.
#include "tools/OnlineSearch.h"

#include "base/FileIO.h"
#include "base/Prompter.h"
#include "base/Text.h"
#include "tools/Plugin.h"
#include "tools/ToolRegistry.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

COnlineSearch::COnlineSearch(OnlineTransport& transport, Prompter& prompter, COnlineSettings settings)
    : m_transport(transport), m_prompter(prompter), m_settings(std::move(settings))
{
    if (m_settings.pluginLimits.maxBytes == 0)
        m_settings.pluginLimits.maxBytes = kMaxPluginFileSize;
}

EOnlineResult COnlineSearch::Fail(const std::string& text, bool silent)
{
    m_lastFailure = text;
    if (!silent)
        m_prompter.Show(text, EPromptButtons::Ok, EPromptIcon::Error);
    return EOnlineResult::Failed;
}

EOnlineResult COnlineSearch::Finish(const COnlineReply& reply, bool silent)
{
    switch (reply.status) {
    case EOnlineStatus::Ok:
        return EOnlineResult::Ok;
    case EOnlineStatus::Cancelled:
        m_lastFailure.clear();
        return EOnlineResult::Cancelled;
    case EOnlineStatus::NetworkError:
        m_lastFailure = reply.errorText;
        if (!silent)
            m_prompter.Show(reply.errorText, EPromptButtons::OkCancel, EPromptIcon::Error);
        return EOnlineResult::Failed;
    default:
        // A refused URL, an error status, a reply that is too large or too slow:
        // all the database's problem.
        return Fail(kOnlineProblem, silent);
    }
}

// Without a usable host the database cannot be reached.
std::optional<std::string> COnlineSearch::Url(const std::string& pathAndQuery, bool silent)
{
    auto url = LookupUrl(m_settings.host, pathAndQuery);
    if (!url)
        Fail(kOnlineProblem, silent);
    return url;
}

EOnlineResult COnlineSearch::Fetch(const std::string& url, const COnlineLimits& limits, std::string* body, bool silent)
{
    body->clear();
    const COnlineReply reply = m_transport.Get(url, limits, [body](std::string_view block) {
        body->append(block);
        return true;
    });
    return Finish(reply, silent);
}

// A look-up: the reply body of a path on the database host.
EOnlineResult COnlineSearch::Ask(const std::string& pathAndQuery, const COnlineLimits& limits, std::string* body,
                                 bool silent)
{
    const auto request = Url(pathAndQuery, silent);
    return request ? Fetch(*request, limits, body, silent) : EOnlineResult::Failed;
}

EOnlineResult COnlineSearch::LookupTool(const std::string& tool, std::string* url, bool silent)
{
    std::string body;
    const EOnlineResult r = Ask(ToolLookupPath(tool), m_settings.lookupLimits, &body, silent);
    if (r == EOnlineResult::Ok)
        *url = JoinedReply(body);
    return r;
}

EOnlineResult COnlineSearch::LookupPlugins(const std::string& media, const std::string& protocol,
                                           const std::string& format, std::vector<COnlinePlugin>* offered, bool silent)
{
    std::string body;
    const EOnlineResult r = Ask(PluginLookupPath(media, protocol, format), m_settings.lookupLimits, &body, silent);
    if (r == EOnlineResult::Ok)
        *offered = ParsePluginReply(body);
    return r;
}

EOnlineResult COnlineSearch::CheckVersion(std::string* installerUrl)
{
    std::string body;
    const EOnlineResult r = Ask(VersionCheckPath(kProgramName, kProgramVersion), m_settings.versionLimits, &body, true);
    if (r == EOnlineResult::Ok)
        *installerUrl = JoinedReply(body);
    return r;
}

EOnlineResult COnlineSearch::DownloadPlugin(const std::string& url, std::string* keptPath, bool silent)
{
    const auto name = FileNameFromUrl(url);
    if (!name)
        return Fail(RefusedNameMessage(url), silent);
    std::string body;
    const EOnlineResult r = Fetch(url, m_settings.pluginLimits, &body, silent);
    if (r != EOnlineResult::Ok)
        return r;
    const std::string text = PluginFileText(body);
    if (!CheckPluginFile(*name, text))
        return Fail(RefusedPluginMessage(*name), silent);
    const fs::path folder = fs::path(m_settings.installDir) / "plugins";
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string path = (folder / *name).string();
    if (!fileio::WriteFileAtomically(path, text))
        return Fail(RefusedPluginMessage(*name), silent);
    if (keptPath)
        *keptPath = path;
    return EOnlineResult::Ok;
}

EOnlineResult COnlineSearch::DownloadInstaller(const std::string& url, std::string* path, bool silent)
{
    const auto name = FileNameFromUrl(url);
    if (!name)
        return Fail(RefusedNameMessage(url), silent);
    const fs::path folder = fs::path(m_settings.installDir) / "tmpInstall";
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string target = (folder / *name).string();
    fileio::CAtomicFileWriter writer(target);
    if (writer.Error() != 0)
        return Fail(kOnlineProblem, silent);
    const COnlineReply reply = m_transport.Get(
        url, m_settings.installerLimits, [&writer](std::string_view block) { return writer.Write(block); });
    const EOnlineResult r = Finish(reply, silent);
    if (r != EOnlineResult::Ok)
        return r; // the writer removes its temporary file
    if (!writer.Commit())
        return Fail(kOnlineProblem, silent);
    if (path)
        *path = target;
    return EOnlineResult::Ok;
}

bool IsWebPageUrl(std::string_view url)
{
    for (std::string_view scheme : {"http://", "https://"})
        if (url.size() > scheme.size() && text::EqualsNoCase(url.substr(0, scheme.size()), scheme))
            return true;
    return false;
}

bool COnlineSearch::SearchTool(const std::string& tool, const UrlOpener& openBrowser)
{
    std::string url;
    const EOnlineResult r = LookupTool(tool, &url);
    if (r == EOnlineResult::Cancelled)
        return false;
    if (r == EOnlineResult::Ok) {
        if (url.empty()) {
            m_prompter.Show(UnknownToolMessage());
        } else if (!IsWebPageUrl(url)) {
            // What the database names is handed to the system's opener: a
            // file or another program's scheme must not get there.
            m_prompter.Show(kNotAWebPage + url);
        } else if (m_prompter.Show(kOpenToolPage, EPromptButtons::OkCancel) == EPromptAnswer::Ok) {
            if (!openBrowser || !openBrowser(url))
                m_prompter.Show(kNoBrowser + url);
        }
    }
    // The dialog ended with OK also after a failure message: the request ran to its end.
    return true;
}

std::vector<COnlinePlugin> DropInstalledPlugins(std::vector<COnlinePlugin> offered,
                                                const std::vector<CToolEntry>& installed)
{
    std::erase_if(offered, [&installed](const COnlinePlugin& p) {
        for (const CToolEntry& tool : installed)
            if (tool.name == p.name && tool.plugin)
                return !IsNewerPlugin(p.date, tool.plugin->date);
        return false;
    });
    return offered;
}

bool COnlineSearch::SearchPlugins(const std::string& media, const std::string& protocol, const std::string& format,
                                  const std::vector<CToolEntry>* installed, PluginChooser& chooser)
{
    std::vector<COnlinePlugin> offered;
    const EOnlineResult r = LookupPlugins(media, protocol, format, &offered);
    if (r == EOnlineResult::Cancelled)
        return false;
    if (r != EOnlineResult::Ok)
        return true;
    if (offered.empty()) {
        m_prompter.Show(NoPluginMessage());
        return true;
    }
    if (installed) {
        offered = DropInstalledPlugins(std::move(offered), *installed);
        if (offered.empty()) {
            m_prompter.Show(kPluginsUpToDate);
            return false;
        }
    }
    std::stable_sort(offered.begin(), offered.end(),
                     [](const COnlinePlugin& a, const COnlinePlugin& b) { return a.name < b.name; });
    // OK with nothing ticked downloads nothing: it is a Cancel, and says
    // nothing (it used to claim a download).
    const auto chosen = chooser.ChoosePlugins(offered);
    if (!chosen || chosen->empty())
        return false;
    bool allKept = true;
    for (size_t i : *chosen) {
        if (i >= offered.size())
            continue;
        const EOnlineResult d = DownloadPlugin(offered[i].url, nullptr);
        if (d == EOnlineResult::Cancelled)
            return false;
        allKept = allKept && d == EOnlineResult::Ok;
    }
    // Each refused download has said so already; the summary only follows a clean run.
    if (allKept)
        m_prompter.Show(kPluginsDownloaded);
    return true;
}

std::optional<std::string> COnlineSearch::OfferUpdate(const UrlOpener& openFolder)
{
    std::string url;
    if (CheckVersion(&url) != EOnlineResult::Ok || url.empty())
        return std::nullopt;
    if (m_prompter.Show(kNewVersionOffer, EPromptButtons::YesNo, EPromptIcon::Question) != EPromptAnswer::Yes)
        return std::nullopt;
    std::string path;
    if (DownloadInstaller(url, &path) != EOnlineResult::Ok)
        return std::nullopt;
    // A downloaded program is never started here: the user installs it.
    if (m_prompter.Show(InstallerSavedMessage(path), EPromptButtons::YesNo, EPromptIcon::Question) ==
            EPromptAnswer::Yes &&
        openFolder)
        openFolder(fs::path(path).parent_path().string());
    return path;
}
