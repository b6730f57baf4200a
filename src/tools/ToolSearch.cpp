// The recursive tool search of the "Find Tool" dialog.
#include "tools/ToolSearch.h"

#include "base/Text.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

bool ToolFileMatches(std::string_view fileName, std::string_view toolFile, bool isExecutable)
{
    if (toolFile.size() >= 4 && toolFile[toolFile.size() - 4] == '.')
        return text::EqualsNoCase(fileName, toolFile);
    if (fileName.size() == toolFile.size() + 4 && text::EqualsNoCase(fileName.substr(0, toolFile.size()), toolFile)) {
        const std::string_view ext = fileName.substr(toolFile.size());
        for (std::string_view candidate : {".com", ".exe", ".cmd", ".bat"})
            if (text::EqualsNoCase(ext, candidate))
                return true;
    }
    return isExecutable && fileName == toolFile;
}

bool CToolSearch::Start(const std::string& startFolder, const std::string& toolFile)
{
    if (!m_idle.load())
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_toolFile = toolFile;
    m_stopEvent = false;
    m_stopped = false;
    m_idle = false;
    m_worker = std::thread([this, startFolder] {
        m_stopFlag = false;
        SearchFolder(startFolder);
        const bool stopped = m_stopFlag.load();
        m_stopped = stopped;
        m_idle = true;
        if (!stopped && m_callbacks.onFinished)
            m_callbacks.onFinished();
    });
    return true;
}

void CToolSearch::Stop()
{
    m_stopEvent = true;
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

bool CToolSearch::StopRequested()
{
    if (m_stopEvent.load())
        m_stopFlag = true;
    return m_stopFlag.load();
}

void CToolSearch::SearchFolder(const std::string& folder)
{
    if (StopRequested())
        return;
    if (m_callbacks.onFolder)
        m_callbacks.onFolder(folder);

    // A folder that cannot be listed yields nothing. Name order keeps the
    // result list the same from one search to the next.
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });

    for (const fs::directory_entry& entry : entries) {
        if (StopRequested())
            break;
        std::error_code typeError;
        // Linked folders are not entered: a link back up would never end.
        if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) {
            SearchFolder(entry.path().string());
            continue;
        }
        if (!entry.is_regular_file(typeError))
            continue;
        const std::string name = entry.path().filename().string();
        const bool executable = name == m_toolFile && access(entry.path().c_str(), X_OK) == 0;
        if (ToolFileMatches(name, m_toolFile, executable) && !m_stopFlag.load() && m_callbacks.onMatch)
            m_callbacks.onMatch(entry.path().string());
    }
}
