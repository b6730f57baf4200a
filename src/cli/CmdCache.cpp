// talmira-cli cache dump|check [FILE]: the cache file as a JSON tree, or a
// verdict on whether it loads whole (every byte read, every record sound).
// Neither changes the file.
#include "app/ConsolePrompter.h"
#include "app/Settings.h"
#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/Random.h"
#include "base/SilentPrompter.h"
#include "cli/CacheJson.h"
#include "cli/CliCommon.h"
#include "directory/Archive.h"
#include "directory/NullSapNetwork.h"
#include "directory/SessionStore.h"
#include "sdp/UsedAddresses.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// Cache inspection must never end the process behind the command's back.
class CIgnoredExit final : public ProgramExit {
public:
    void Exit(int) override {}
};

// Where the settings put the cache; a settings file without User Info (no
// setup yet) is no reason to complain here: the default place is used.
std::string DefaultCachePath()
{
    CSilentPrompter quiet;
    auto settings = LoadAppSettings(quiet);
    const std::string install = settings ? settings->InstallDirectory() : DefaultInstallDirectory();
    return (std::filesystem::path(install) / CSessionStore::kCacheFileName).string();
}

int RunCache(const QStringList& argv)
{
    CCliArgs args(argv, {}, {});
    if (!args.ok())
        return CliFail(args.error());
    const QStringList& pos = args.Positionals();
    if (pos.isEmpty() || pos.size() > 2 || (pos[0] != "dump" && pos[0] != "check"))
        return CliFail("usage: talmira-cli cache dump|check [FILE]");

    CStderrPrompter prompter;
    const std::string path = pos.size() == 2 ? pos[1].toStdString() : DefaultCachePath();
    QString error;
    auto bytes = ReadInputFile(QString::fromStdString(path), &error, CSessionStore::kMaxCacheFile);
    if (!bytes)
        return CliFail(error);

    CSystemClock clock;
    CSystemRandom random;
    CUsedAddressList used;
    CIgnoredExit noExit;
    CNullSapNetwork network;
    CSessionStore doc(CStorePorts{clock, random, prompter, noExit, network});
    CArchiveReader in(*bytes);
    if (!doc.ReadCache(in)) {
        std::fprintf(stderr, "talmira-cli: %s: corrupt cache file (%s at byte %zu of %zu)\n", path.c_str(),
                     in.FailReason(), in.FailedAt(), bytes->size());
        return 1;
    }
    if (pos[0] == "check") {
        std::printf("%s: ok, %zu top-level entries, %zu bytes\n", path.c_str(), doc.MainList().Size(), bytes->size());
        return 0;
    }
    bool written = true;
    WriteCacheJson(doc.MainList(), [&written](std::string_view part) {
        written = written && std::fwrite(part.data(), 1, part.size(), stdout) == part.size();
    });
    // A full disk or a closed pipe must not pass for a complete listing.
    if (!written || std::fflush(stdout) != 0 || std::ferror(stdout))
        return CliFail(QStringLiteral("cannot write the listing: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    return 0;
}

} // namespace

static CCliRegistration registerCache("cache", {"cache dump|check [FILE]", RunCache});
