#include "cli/SessionLookup.h"

#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/Random.h"
#include "base/SapNetwork.h"
#include "cli/CliCommon.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

#include <QFileInfo>

#include <filesystem>
#include <cstdlib>

namespace {

class CNoNetwork final : public SapNetwork {
public:
    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket(uint32_t, uint16_t, int, const std::shared_ptr<CSDPObject>&,
                                                      uint32_t) override
    {
        return nullptr;
    }
    void CloseSocket(CDirectoryReceiver&) override {}
    bool SetMulticastTtl(CDirectoryReceiver&, int) override { return false; }
    bool SendDatagram(CDirectoryReceiver&, std::string_view) override { return false; }
    uint32_t OriginatingSource(CDirectoryReceiver&) override { return 0; }
};

class CNoExit final : public ProgramExit {
public:
    void Exit(int status) override { exitStatus = status; }
    int exitStatus = 0;
};

std::shared_ptr<CSDPObject> FindInList(const CSessionList& list, const std::string& id)
{
    for (const auto& record : list) {
        if (record->originSessionId == id && !IsDirectoryType(record->sessionType))
            return record;
        if (record->links->children)
            if (auto found = FindInList(*record->links->children, id))
                return found;
    }
    return nullptr;
}

// The store's records are being deleted once the store closes: a copy
// outlives it (the tool choices of the media entries included).
std::shared_ptr<CSDPObject> CopyOfRecord(const std::shared_ptr<CSDPObject>& record, const CSdpEnvironment& env,
                                         const Clock& clock)
{
    if (!record)
        return nullptr;
    auto copy = CSDPObject::MakeEmpty(env);
    copy->UpdateFrom(*record, clock.Now());
    copy->randomTag = record->randomTag;
    copy->own = record->own;
    copy->startTools = record->startTools;
    return copy;
}

} // namespace

std::shared_ptr<CSDPObject> SessionFromCache(const std::string& installDir, const std::string& id, Prompter& prompter,
                                             const Clock& clock, Random& random, QString* error)
{
    namespace fs = std::filesystem;
    const fs::path cache = fs::path(installDir) / CSessionStore::kCacheFileName;
    std::error_code ec;
    if (!fs::exists(cache, ec)) {
        *error = "no such file and no cache file: " + QString::fromStdString(id);
        return nullptr;
    }
    std::string pattern = (fs::temp_directory_path() / "talmira-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        *error = "cannot make a temporary folder";
        return nullptr;
    }
    std::shared_ptr<CSDPObject> found;
    bool loaded = false;
    fs::copy_file(cache, fs::path(pattern) / CSessionStore::kCacheFileName, ec);
    if (!ec) {
        CNoNetwork network;
        CNoExit exitPort;
        CSessionStore doc(CStorePorts{clock, random, prompter, exitPort, network});
        doc.installDirectory = pattern;
        loaded = doc.LoadCache();
        if (loaded)
            found = CopyOfRecord(FindInList(doc.MainList(), id), doc.Environment(), clock);
        doc.DeleteContents();
    }
    fs::remove_all(pattern, ec);
    if (!loaded)
        *error = "the cache file could not be read";
    else if (!found)
        *error = "no session with id " + QString::fromStdString(id) + " in the cache";
    return found;
}


std::shared_ptr<CSDPObject> LoadSession(const QString& input, const std::string& installDir, Prompter& prompter,
                                        const Clock& clock, Random& random, QString* error)
{
    if (QFileInfo(input).isFile() || input == "-") {
        auto text = ReadInputFile(input, error);
        if (!text)
            return nullptr;
        return CSDPObject::FromText(*text, CSdpEnvironment{clock, random, nullptr});
    }
    return SessionFromCache(installDir, input.toStdString(), prompter, clock, random, error);
}
