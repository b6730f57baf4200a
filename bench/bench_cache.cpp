// Loading the cache file against merely reading its bytes, and the heap a
// stored session takes against its SDP text, at 1,000 and 100,000 sessions.
// The file is read two ways: from the disk (its cached pages dropped first),
// as at start-up, and from the page cache, which is a memory copy.
// With --callgrind=<workload> the program runs one pass of that workload
// alone, for bench/callgrind.sh to count its instructions per byte.
#include "BenchRatio.h"
#include "BenchSessions.h"

#include "base/Clock.h"
#include "base/ProgramExit.h"
#include "base/Random.h"
#include "base/SilentPrompter.h"
#include "directory/Archive.h"
#include "directory/NullSapNetwork.h"
#include "directory/SessionStore.h"
#include "sdp/UsedAddresses.h"

#include <cstdlib>
#include <map>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <unistd.h>
#include <malloc.h>
#include <new>

namespace {

using CStore = CBenchStore;

// The cache file of a store of `count` sessions, written once per size.
const std::string& CachePath(long count)
{
    static std::map<long, std::string> paths;
    std::string& path = paths[count];
    if (path.empty()) {
        CStore store(count);
        CArchiveWriter out;
        store.doc.StoreList(out, store.doc.MainList(), false);
        path = (std::filesystem::temp_directory_path()
                / ("talmira-bench-" + std::to_string(::getpid()) + "-" + std::to_string(count) + ".cache")).string();
        std::ofstream(path, std::ios::binary).write(out.Bytes().data(), static_cast<std::streamsize>(out.Bytes().size()));
    }
    return path;
}

void RemoveCacheFiles()
{
    for (long count : {1000L, 100000L})
        std::filesystem::remove(CachePath(count));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// What any loader pays at least: the file's bytes come into memory.
__attribute__((noinline)) size_t Workload_Read(const std::string& path)
{
    const std::string bytes = ReadFile(path);
    benchmark::DoNotOptimize(bytes.data());
    return bytes.size();
}

__attribute__((noinline)) size_t Workload_Load(CSessionStore& doc, const std::string& path)
{
    const std::string bytes = ReadFile(path);
    CArchiveReader in(bytes);
    CSessionList list;
    if (!doc.LoadList(in, list, nullptr))
        std::abort();
    return bytes.size();
}

// Drops the file's pages from the page cache, so that the next read comes
// from the disk. False where the system keeps them (then the cold read is a
// warm one, and its row says so).
bool DropCachedPages(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return ok;
}

void BM_ReadCacheFromDisk(benchmark::State& state)
{
    const std::string& path = CachePath(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!DropCachedPages(path))
            state.SkipWithError("the file's cached pages cannot be dropped here");
        state.ResumeTiming();
        bytes = Workload_Read(path);
    }
    SetItemsPerIteration(state, static_cast<double>(bytes));
}

void BM_ReadCache(benchmark::State& state)
{
    const std::string& path = CachePath(state.range(0));
    size_t bytes = 0;
    for (auto _ : state)
        bytes = Workload_Read(path);
    SetItemsPerIteration(state, static_cast<double>(bytes));
}

void BM_LoadCache(benchmark::State& state)
{
    const std::string& path = CachePath(state.range(0));
    CStore loader(0);
    size_t bytes = 0;
    for (auto _ : state)
        bytes = Workload_Load(loader.doc, path);
    SetItemsPerIteration(state, static_cast<double>(bytes));
}

BENCHMARK(BM_ReadCacheFromDisk)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadCache)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadCache)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Heap held per stored session against the length of its SDP text.
void PrintMemory(long count)
{
    CStore store(0);
    const size_t before = HeapBytes();
    for (long i = 0; i < count; ++i)
        store.doc.AddSession(CSDPObject::FromText(TypicalSdp(i), store.doc.Environment()), store.dir);
    const double perSession = static_cast<double>(HeapBytes() - before) / static_cast<double>(count);
    const double text = static_cast<double>(TypicalSdp(count / 2).size());
    std::printf("memory, %ld sessions: %.0f bytes per stored session, %.2fx its %.0f-byte text (limit 2.50x)%s\n",
                count, perSession, perSession / text, text, perSession / text <= 2.5 ? "  ok" : "  OVER LIMIT");
}

int RunCallgrindWorkload(std::string_view name)
{
    const std::string& path = CachePath(100000);
    CStore loader(0);
    size_t bytes = 0;
    if (name == "Read")
        bytes = Workload_Read(path);
    else if (name == "Load")
        bytes = Workload_Load(loader.doc, path);
    RemoveCacheFiles();
    return ReportCallgrindItems(bytes);
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto workload = CallgrindWorkload(argc, argv))
        return RunCallgrindWorkload(*workload);
    // Loading (CPU time) must reach a quarter of the throughput of reading
    // the file from the disk (elapsed time: that read mostly waits). Against
    // a copy out of the page cache the ratio is shown without a bound.
    const int status = RunWithRatios(argc, argv,
        {{"BM_LoadCache/1000", "BM_ReadCacheFromDisk/1000/real_time",
          "cache load vs reading the file from disk, 1,000 sessions", 4, true},
         {"BM_LoadCache/100000", "BM_ReadCacheFromDisk/100000/real_time",
          "cache load vs reading the file from disk, 100,000 sessions", 4, true},
         {"BM_LoadCache/1000", "BM_ReadCache/1000", "cache load vs copying it from the page cache, 1,000"},
         {"BM_LoadCache/100000", "BM_ReadCache/100000", "cache load vs copying it from the page cache, 100,000"}});
    PrintMemory(1000);
    PrintMemory(100000);
    RemoveCacheFiles();
    return status;
}
