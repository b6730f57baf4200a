// Starting the media tools of a session, with the prompts of a failed start.
#include "tools/ToolLauncher.h"

#include "base/Clock.h"
#include "base/ProcessStarter.h"
#include "base/Prompter.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string NoPluginText(const CSDPMedia& m)
{
    return "I can't find a plugin for MEDIA: " + m.media + " PROTOCOL: " + m.protocol + " FORMAT: " + m.formatList +
           ".\nDo you want me to search the online database for the right plug-in?";
}

std::string ToolNotFoundText(const CPlugin& p)
{
    return "I can't find the tool " + p.toolName + "(" + p.tool + ")\nDo you want me to search for it?";
}

std::string NoToolText(const CSDPMedia& m)
{
    return "I can't find a tool for MEDIA: " + m.media + ".\nInstall a plug-in for this type of MEDIA";
}

std::string SdpFileFailedText(const std::string& path, const CPlugin& p)
{
    return "Failed to write the session file " + path + "\n" + p.toolName + " is not started.";
}

bool WriteSdpFile(CSDPObject& session, const std::string& path)
{
    std::string sdp;
    session.WriteSdp(sdp);
    // A leftover tmp folder may be gone; without it the tool would get a
    // path to nothing.
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(sdp.data(), static_cast<std::streamsize>(sdp.size()));
    return static_cast<bool>(out.flush());
}

} // namespace

std::string AutoStartText(const std::string& sessionName)
{
    return "The Session \"" + sessionName + "\" is currently not active.\n";
}

EPluginLoad CToolData::Load(Prompter& prompter)
{
    EPluginLoad result = LoadPlugins(installDir, plugins, prompter);
    if (result == EPluginLoad::Fatal)
        return result;
    ReadToolOrder(installDir, registry, prompter);
    SyncToolRegistry(registry, plugins);
    return result;
}

EPluginLoad CToolData::Rebuild(Prompter& prompter)
{
    ClearPlugins(plugins);
    if (Load(prompter) == EPluginLoad::Fatal)
        return EPluginLoad::Fatal;
    SaveToolOrder(installDir, registry, prompter);
    return EPluginLoad::Ok;
}

void CToolData::SetFoundPath(const std::string& tool, const std::string& path)
{
    for (const auto& p : plugins)
        if (p->tool == tool)
            p->foundPath = path;
}

CToolLauncher::CToolLauncher(CToolData& data, Prompter& prompter, ToolDialogs& dialogs, ProcessStarter& starter,
                             const Clock& clock, ExecutableLocator locate)
    : onFatal([] { std::exit(-1); }), m_data(data), m_prompter(prompter), m_dialogs(dialogs), m_starter(starter),
      m_clock(clock), m_locate(std::move(locate))
{
}

void CToolLauncher::Rebuild()
{
    if (m_data.Rebuild(m_prompter) == EPluginLoad::Fatal && onFatal)
        onFatal();
}

bool CToolLauncher::ConfirmStart(CSDPObject& s, bool* autoStartChosen)
{
    if (IsInPeriod(s, kPeriodNow, m_clock.Now(), m_clock))
        return true;
    switch (m_dialogs.AskAutoStart(AutoStartText(s.name))) {
    case EAutoStartChoice::StartNow:
        return true;
    case EAutoStartChoice::AutoStart:
        s.startTools = 1;
        if (autoStartChosen)
            *autoStartChosen = true;
        if (onAutoStartChanged)
            onAutoStartChanged(s);
        return false;
    case EAutoStartChoice::Cancel:
        break;
    }
    return false;
}

CToolLauncher::EAfterPrompt CToolLauncher::NoPluginPrompt(const CSDPMedia& m)
{
    if (m_prompter.Show(NoPluginText(m), EPromptButtons::YesNo, EPromptIcon::Question) != EPromptAnswer::Yes)
        return EAfterPrompt::NextEntry;
    if (!m_dialogs.SearchOnlinePlugin(m.media, m.protocol, m.formatList))
        return EAfterPrompt::NextEntry;
    Rebuild();
    return EAfterPrompt::Retry;
}

CToolLauncher::EAfterPrompt CToolLauncher::ToolNotFoundPrompt(const CPlugin& p, bool retryAllowed)
{
    if (m_prompter.Show(ToolNotFoundText(p), EPromptButtons::YesNo, EPromptIcon::Question) != EPromptAnswer::Yes)
        return EAfterPrompt::NextEntry;
    // Copies: a rebuild replaces the plug-in records.
    const std::string tool = p.tool;
    switch (m_dialogs.AskWhereToSearch()) {
    case ESearchWhere::FileSystem:
        if (auto path = m_dialogs.FindToolOnDisk(tool)) {
            m_data.SetFoundPath(tool, *path);
            if (!retryAllowed)
                return EAfterPrompt::NextEntry;
            SaveToolOrder(m_data.installDir, m_data.registry, m_prompter);
            return EAfterPrompt::Retry;
        }
        break;
    case ESearchWhere::Online:
        if (m_dialogs.SearchOnlineTool(tool) && retryAllowed) {
            Rebuild();
            return EAfterPrompt::Retry;
        }
        break;
    case ESearchWhere::Cancel:
        break;
    }
    return EAfterPrompt::NextEntry;
}

bool CToolLauncher::Launch(CSDPObject& s, const CToolLaunch& l, bool skipIfSdp)
{
    const std::string sdpFile = SdpFilePath(m_data.installDir, s.name);
    bool asks = false;
    std::vector<std::string> args = CommandArguments(l, sdpFile, &asks);
    if (asks && !WriteSdpFile(s, sdpFile)) {
        // A tool given a path to nothing fails in ways the user cannot trace.
        m_prompter.Show(SdpFileFailedText(sdpFile, *l.plugin));
        return false;
    }
    if (asks && skipIfSdp)
        return false; // the session's SDP file goes to one tool per start
    // The tool runs in its own folder; our working directory is never changed.
    m_starter.StartDetached(l.path, args, fs::path(l.path).parent_path().string());
    return asks;
}

void CToolLauncher::StartTools(const std::shared_ptr<CSDPObject>& session, int mediaIndex, int toolIndex)
{
    if (!session || IsDirectoryType(session->sessionType))
        return;
    CSDPObject& s = *session;
    if (!ConfirmStart(s, nullptr))
        return;
    CRecordLock lock(s, __FILE__, __LINE__);
    if (!lock.ok())
        return;

    bool sdpToolStarted = false;
    const int count = static_cast<int>(s.media.size());
    for (int i = 0; i < count; ++i) {
        if (mediaIndex != -1 && i != mediaIndex)
            continue;
        const CSDPMedia& m = s.media[static_cast<size_t>(i)];
        for (;;) {
            std::vector<CToolLaunch> launches;
            if (!FindTools(s, m, m_data.registry, m_locate, launches)) {
                if (NoPluginPrompt(m) == EAfterPrompt::Retry)
                    continue;
                break;
            }
            if (toolIndex < 0 || toolIndex >= static_cast<int>(launches.size()))
                break;
            // The tool chosen for this media entry wins over the user's order;
            // the not-found prompt is about the tool that would really start.
            const CToolLaunch* l = &launches[static_cast<size_t>(toolIndex)];
            if (!m.extras->toolChoice.empty())
                for (const CToolLaunch& other : launches)
                    if (other.plugin->toolName == m.extras->toolChoice) {
                        l = &other;
                        break;
                    }
            if (l->path.empty()) {
                if (ToolNotFoundPrompt(*l->plugin, true) == EAfterPrompt::Retry)
                    continue;
                break;
            }
            if (Launch(s, *l, sdpToolStarted))
                sdpToolStarted = true;
            break;
        }
    }
}

bool CToolLauncher::StartToolsFromInfoPage(CSDPObject& s)
{
    if (s.sessionType == kTypeDirectory)
        return false;
    bool autoStart = false;
    if (!ConfirmStart(s, &autoStart))
        return autoStart;
    for (const CSDPMedia& m : s.media) {
        std::vector<CToolLaunch> launches;
        if (!FindTools(s, m, m_data.registry, m_locate, launches)) {
            m_prompter.Show(NoToolText(m));
            continue;
        }
        const CToolLaunch& l = launches.front();
        if (l.path.empty()) {
            ToolNotFoundPrompt(*l.plugin, false);
            continue;
        }
        Launch(s, l, false);
    }
    return false;
}
