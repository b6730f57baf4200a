// The session store at scale: adding, refreshing and removing in a directory
// of 1,000 and 100,000 sessions, the once-a-second walk, the cache file, and
// the memory a stored session takes. With --callgrind=<workload>/<sessions>
// the program runs one pass of that workload alone, for bench/callgrind.sh.
#include "BenchRatio.h"
#include "BenchSessions.h"

#include "base/Clock.h"
#include "base/Random.h"
#include "directory/Archive.h"
#include "directory/NullSapNetwork.h"
#include "directory/SessionStore.h"
#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"
#include "sdp/UsedAddresses.h"
#include "base/ProgramExit.h"
#include "base/SilentPrompter.h"

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <new>
#include <random>
#include <unordered_map>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

// As a directory socket hands a session over: with the hash of its text.
std::shared_ptr<CSDPObject> ParseHashed(CSessionStore& doc, long id, const std::string& extra = "")
{
    const std::string text = TypicalSdp(id) + extra;
    auto r = CSDPObject::FromText(text, doc.Environment());
    r->sourceHash = sap::TextHash(text);
    return r;
}

// The benchmark store, its sessions made as a directory socket hands them over.
struct CStore : CBenchStore {
    explicit CStore(long count) : CBenchStore(count, [](CSessionStore& d, long id) { return ParseHashed(d, id); }) {}

    std::shared_ptr<CSDPObject> Parse(long id, const std::string& extra = "") { return ParseHashed(doc, id, extra); }
    // A bare record with just an id: cheap to make in bulk.
    std::shared_ptr<CSDPObject> Bare(long id)
    {
        auto r = CSDPObject::MakeEmpty(doc.Environment());
        r->originSessionId = std::to_string(2890844526L + id);
        return r;
    }
};

constexpr int kBatch = 1000;

void BM_AddNew(benchmark::State& state)
{
    CStore store(state.range(0));
    std::vector<std::shared_ptr<CSDPObject>> fresh;
    for (long i = 0; i < kBatch; ++i)
        fresh.push_back(store.Parse(10000000 + i));
    for (auto _ : state) {
        for (auto& r : fresh)
            store.doc.AddSession(r, store.dir);
        state.PauseTiming();
        for (auto& r : fresh)
            store.dir->links->children->Remove(*r);
        state.ResumeTiming();
    }
    SetItemsPerIteration(state, kBatch);
}

// Pushes the stored records out of the processor caches.
void EvictCaches()
{
    static std::vector<char> sweep(64 << 20, 1);
    long sum = 0;
    for (size_t i = 0; i < sweep.size(); i += 64)
        sum += ++sweep[i];
    benchmark::DoNotOptimize(sum);
}

// A session is heard again minutes after its last announcement, when its
// record has long left the caches: each batch starts cold, so that the
// 1,000-session store is not measured from cache and the 100,000 from memory.
void AddRepeats(benchmark::State& state, bool cold)
{
    CStore store(state.range(0));
    std::vector<std::shared_ptr<CSDPObject>> repeats;
    for (long i = 0; i < kBatch; ++i)
        repeats.push_back(store.Parse(i * (state.range(0) / kBatch)));
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            EvictCaches();
            state.ResumeTiming();
        }
        for (auto& r : repeats)
            benchmark::DoNotOptimize(store.doc.AddSession(r, store.dir));
    }
    SetItemsPerIteration(state, kBatch);
}

void BM_AddRepeat(benchmark::State& state) { AddRepeats(state, true); }
// The same from warm caches, for comparison (no bound).
void BM_AddRepeatWarm(benchmark::State& state) { AddRepeats(state, false); }

void BM_Remove(benchmark::State& state)
{
    CStore store(state.range(0));
    std::vector<std::shared_ptr<CSDPObject>> deletions;
    for (long i = 0; i < kBatch; ++i) {
        deletions.push_back(store.Bare(20000000 + i));
        deletions.back()->parentDirectory = store.dir;
    }
    for (auto _ : state) {
        state.PauseTiming();
        for (long i = 0; i < kBatch; ++i)
            store.doc.AddSession(store.Bare(20000000 + i), store.dir);
        state.ResumeTiming();
        for (auto& r : deletions)
            benchmark::DoNotOptimize(store.doc.RemoveSession(r));
    }
    SetItemsPerIteration(state, kBatch);
}

constexpr long kLarge = 100000;

CStore& LargeStore()
{
    static CStore store(kLarge);
    return store;
}

void BM_Walk(benchmark::State& state)
{
    CStore& store = LargeStore();
    for (auto _ : state)
        store.doc.CheckSessions();
    SetItemsPerIteration(state, static_cast<double>(store.dir->links->children->Size()));
}

// The reference for a repeat: finding a session by id in a hash map and
// updating one field.
void BM_MapRepeat(benchmark::State& state)
{
    std::unordered_map<std::string, int64_t> map;
    for (long i = 0; i < state.range(0); ++i)
        map.emplace(std::to_string(2890844526L + i), 0);
    std::vector<std::string> keys;
    for (long i = 0; i < kBatch; ++i)
        keys.push_back(std::to_string(2890844526L + i * (state.range(0) / kBatch)));
    int64_t now = 0;
    for (auto _ : state) {
        state.PauseTiming();
        EvictCaches();
        state.ResumeTiming();
        ++now;
        for (const auto& k : keys)
            if (auto it = map.find(k); it != map.end())
                it->second = now;
    }
    SetItemsPerIteration(state, kBatch);
}

// The walk's reference: visiting every entry of a hash map.
void BM_MapIterate(benchmark::State& state)
{
    std::unordered_map<std::string, int64_t> map;
    for (long i = 0; i < state.range(0); ++i)
        map.emplace(std::to_string(2890844526L + i), i);
    for (auto _ : state) {
        int64_t sum = 0;
        for (const auto& [k, v] : map)
            sum += v;
        benchmark::DoNotOptimize(sum);
    }
    SetItemsPerIteration(state, static_cast<double>(state.range(0)));
}

// Every session heard again in random order (one in ten with a changed
// text), a second later: the records have been refreshed all over memory.
void RepeatAllShuffled(CStore& store, long count)
{
    std::vector<long> order(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i)
        order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    store.clock.Advance(1);
    for (long id : order)
        store.doc.AddSession(store.Parse(id, id % 10 ? "" : "a=changed\n"), store.dir);
}

void BM_WalkAfterRepeats(benchmark::State& state)
{
    CStore store(state.range(0));
    store.doc.CheckSessions();
    RepeatAllShuffled(store, state.range(0));
    for (auto _ : state)
        store.doc.CheckSessions();
    SetItemsPerIteration(state, static_cast<double>(store.dir->links->children->Size()));
}

void BM_LockUnlockLoop(benchmark::State& state)
{
    CStore& store = LargeStore();
    for (auto _ : state)
        for (const auto& r : *store.dir->links->children)
            if (r->Lock(__FILE__, __LINE__))
                r->Unlock();
    SetItemsPerIteration(state, static_cast<double>(store.dir->links->children->Size()));
}

std::string CachePath()
{
    return (std::filesystem::temp_directory_path() / ("talmira-bench-" + std::to_string(::getpid()) + ".cache")).string();
}

// Writes the large store's cache file; returns its size.
size_t WriteCacheFile()
{
    CStore& store = LargeStore();
    CArchiveWriter out;
    store.doc.StoreList(out, store.doc.MainList(), false);
    std::ofstream(CachePath(), std::ios::binary).write(out.Bytes().data(), static_cast<std::streamsize>(out.Bytes().size()));
    return out.Bytes().size();
}

void BM_CacheStore(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state)
        bytes = WriteCacheFile();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    SetItemsPerIteration(state, static_cast<double>(bytes));
}

// The cache file's bytes; written first when a filtered run skipped the store.
std::string ReadFile(const std::string& path)
{
    if (!std::filesystem::exists(path)) {
        benchmark::DoNotOptimize(WriteCacheFile());
    }
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void BM_ReadCacheFile(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state) {
        std::string data = ReadFile(CachePath());
        bytes = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    SetItemsPerIteration(state, static_cast<double>(bytes));
}

void BM_CacheLoad(benchmark::State& state)
{
    CStore store(0);
    size_t bytes = 0;
    for (auto _ : state) {
        std::string data = ReadFile(CachePath());
        bytes = data.size();
        CArchiveReader in(data);
        auto list = std::make_unique<CSessionList>();
        if (!store.doc.LoadList(in, *list, nullptr))
            state.SkipWithError("cache did not load");
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    SetItemsPerIteration(state, static_cast<double>(bytes));
}

BENCHMARK(BM_AddNew)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddRepeat)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddRepeatWarm)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Remove)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Walk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapRepeat)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapIterate)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WalkAfterRepeats)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LockUnlockLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCacheFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheLoad)->Unit(benchmark::kMillisecond);

// Wall-clock figures the ratios do not show: the walk in ms, the cache in
// ms, and the heap bytes one stored session takes.
int PrintAbsolutes()
{
    int status = 0;
    CStore& store = LargeStore();
    // CPU time: other programs on the machine do not count against us.
    auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    auto time = [&](auto&& work, int runs) {
        const double start = cpuMs();
        for (int i = 0; i < runs; ++i)
            work();
        return (cpuMs() - start) / runs;
    };
    const double walkMs = time([&] { store.doc.CheckSessions(); }, 10);
    std::printf("\none walk over %ld sessions: %.2f ms CPU (limit 20 ms)%s\n", kLarge, walkMs,
                walkMs < 20 ? "  ok" : "  OVER LIMIT");
    status |= walkMs < 20 ? 0 : 1;
    CStore shuffled(kLarge);
    shuffled.doc.CheckSessions();
    RepeatAllShuffled(shuffled, kLarge);
    const double firstMs = time([&] { shuffled.doc.CheckSessions(); }, 1);
    const double afterMs = time([&] { shuffled.doc.CheckSessions(); }, 10);
    std::printf("walk after a shuffled round of repeats: first %.2f ms, then %.2f ms CPU (limit 20 ms)%s\n", firstMs,
                afterMs, std::max(firstMs, afterMs) < 20 ? "  ok" : "  OVER LIMIT");
    status |= std::max(firstMs, afterMs) < 20 ? 0 : 1;

    CArchiveWriter out;
    store.doc.StoreList(out, store.doc.MainList(), false);
    const double mb = static_cast<double>(out.Bytes().size()) / 1e6;
    CStore loader(0);
    const double loadMs = time([&] {
        CArchiveReader in(out.Bytes());
        CSessionList list;
        loader.doc.LoadList(in, list, nullptr);
    }, 3);
    std::printf("cache of %ld sessions: %.1f MB, load from memory %.1f ms CPU = %.0f MB/s\n", kLarge,
                mb, loadMs, mb / loadMs * 1000);

    // Heap held per stored session: parse and store 10,000 typical ones.
    CStore counted(0);
    const size_t before = HeapBytes();
    for (long i = 0; i < 10000; ++i)
        counted.doc.AddSession(counted.Parse(i), counted.dir);
    const double perSession = static_cast<double>(HeapBytes() - before) / 10000;
    std::printf("memory: %.0f bytes per stored session (SDP text of %zu bytes)\n", perSession, TypicalSdp(5000).size());
    return status;
}

// One pass of a workload for bench/callgrind.sh, which counts the
// instructions of Workload_<name> alone (noipa: never folded into a twin
// or inlined): stores and inputs are made first.
// Instruction counts stay put on a busy machine; they do not see the cache
// misses the cold wall-clock rows above include.
using Records = std::vector<std::shared_ptr<CSDPObject>>;

// The sessions of a store of `count` that a batch hears again, spread over it.
std::vector<long> RepeatIds(long count)
{
    std::vector<long> ids;
    for (long i = 0; i < kBatch; ++i)
        ids.push_back(i * (count / kBatch));
    return ids;
}

__attribute__((noipa)) size_t Workload_Repeat(CStore& store, const Records& repeats)
{
    for (const auto& r : repeats)
        benchmark::DoNotOptimize(store.doc.AddSession(r, store.dir));
    return repeats.size();
}

// What a directory's socket does with an unchanged repeat: hash the text and
// refresh the stored record without parsing.
__attribute__((noipa)) size_t Workload_KnownRepeat(CStore& store, const std::vector<std::string>& texts)
{
    size_t known = 0;
    for (const std::string& text : texts)
        known += store.doc.RefreshRepeat(text, sap::TextHash(text), store.dir);
    return known;
}

// What a directory's socket asks first. Not a lambda inside the workload:
// callgrind.sh toggles counting on every function named after the workload.
struct CRefreshKnown {
    CStore* store;
    bool operator()(std::string_view text, uint64_t hash, std::string_view origin) const
    {
        return store->doc.RefreshRepeat(text, hash, store->dir, origin);
    }
};

// The whole way of such a repeat from the socket: unwrap the datagram, hash
// the text, refresh the stored record.
__attribute__((noipa)) size_t Workload_DatagramRepeat(CStore& store, const std::vector<std::string>& datagrams)
{
    static const CEncryptionGroups groups;
    size_t known = 0;
    const CKnownRepeat isKnown = CRefreshKnown{&store};
    for (const std::string& datagram : datagrams) {
        const CSapMessage message = DecodeSapDatagram(datagram, groups, store.doc.Environment(), isKnown);
        known += message.action == ESapAction::Announce && !message.record;
    }
    return known;
}

__attribute__((noipa)) size_t Workload_MapRepeat(std::unordered_map<std::string, int64_t>& map,
                                                     const std::vector<std::string>& keys)
{
    for (const auto& k : keys)
        if (auto it = map.find(k); it != map.end())
            it->second = 1;
    return keys.size();
}

__attribute__((noipa)) size_t Workload_Walk(CStore& store)
{
    store.doc.CheckSessions();
    return store.dir->links->children->Size();
}

__attribute__((noipa)) size_t Workload_WalkAfterRepeats(CStore& store)
{
    store.doc.CheckSessions();
    return store.dir->links->children->Size();
}

__attribute__((noipa)) size_t Workload_MapIterate(const std::unordered_map<std::string, int64_t>& map)
{
    int64_t sum = 0;
    for (const auto& [k, v] : map)
        sum += v;
    benchmark::DoNotOptimize(sum);
    return map.size();
}

std::unordered_map<std::string, int64_t> IdMap(long count)
{
    std::unordered_map<std::string, int64_t> map;
    for (long i = 0; i < count; ++i)
        map.emplace(std::to_string(2890844526L + i), i);
    return map;
}

// Under callgrind --instr-atstart=no (callgrind.sh --lazy) the set-up runs
// uninstrumented, at near native speed: a store of 100,000 takes seconds.
template <class Work>
size_t Instrumented(Work&& work)
{
    CALLGRIND_START_INSTRUMENTATION;
    const size_t items = work();
    CALLGRIND_STOP_INSTRUMENTATION;
    return items;
}

// NAME/COUNT, as the benchmark rows are named: Repeat/1000, Walk/100000...
int RunCallgrindWorkload(std::string_view workload)
{
    const size_t slash = workload.find('/');
    const std::string_view name = workload.substr(0, slash);
    const long count = slash == std::string_view::npos ? 0 : std::atol(std::string(workload.substr(slash + 1)).c_str());
    if (count < kBatch)
        return 2;
    size_t items = 0;
    if (name == "MapRepeat" || name == "MapIterate") {
        auto map = IdMap(count);
        std::vector<std::string> keys;
        for (long id : RepeatIds(count))
            keys.push_back(std::to_string(2890844526L + id));
        items = Instrumented([&] { return name == "MapRepeat" ? Workload_MapRepeat(map, keys) : Workload_MapIterate(map); });
    } else {
        CStore store(count);
        store.doc.CheckSessions();
        if (name == "Repeat" || name == "KnownRepeat" || name == "DatagramRepeat") {
            Records repeats;
            std::vector<std::string> texts;
            for (long id : RepeatIds(count)) {
                repeats.push_back(store.Parse(id));
                texts.push_back(TypicalSdp(id));
                if (name == "DatagramRepeat") // an IPv4 announcement without authentication
                    texts.back().insert(0, std::string("\x20\x00\x12\x34\x0a\x00\x00\x01", 8));
            }
            store.clock.Advance(1);
            items = Instrumented([&] {
                if (name == "Repeat")
                    return Workload_Repeat(store, repeats);
                return name == "KnownRepeat" ? Workload_KnownRepeat(store, texts) : Workload_DatagramRepeat(store, texts);
            });
            if (items != static_cast<size_t>(kBatch))
                return 1; // not every text was taken for a repeat
        } else if (name == "Walk") {
            store.doc.CheckSessions();
            items = Instrumented([&] { return Workload_Walk(store); });
        } else if (name == "WalkAfterRepeats") {
            // The first walk after every session was heard again, in random
            // order, one in ten with a changed text.
            RepeatAllShuffled(store, count);
            items = Instrumented([&] { return Workload_WalkAfterRepeats(store); });
        }
    }
    return ReportCallgrindItems(items);
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto workload = CallgrindWorkload(argc, argv))
        return RunCallgrindWorkload(*workload);
    int status = RunWithRatios(argc, argv,
        {{"BM_AddNew/100000", "BM_AddNew/1000", "AddSession of a new session, 100,000 vs 1,000", 2},
         // Cold, a plain hash map slows down about as much from 1,000 to
         // 100,000 entries (cache misses): the bound is on the ratio to it.
         {"BM_AddRepeat/100000", "BM_AddRepeat/1000", "AddSession of a repeat (cold), 100,000 vs 1,000", 0},
         {"BM_MapRepeat/100000", "BM_MapRepeat/1000", "map find+update (cold), 100,000 vs 1,000", 0},
         {"BM_AddRepeatWarm/100000", "BM_AddRepeatWarm/1000", "AddSession of a repeat (warm caches), same", 0},
         {"BM_Remove/100000", "BM_Remove/1000", "RemoveSession, 100,000 vs 1,000", 2},
         {"BM_AddRepeat/1000", "BM_MapRepeat/1000", "repeat vs map find+update, 1,000", 5},
         {"BM_AddRepeat/100000", "BM_MapRepeat/100000", "repeat vs map find+update, 100,000", 5},
         {"BM_WalkAfterRepeats/1000", "BM_MapIterate/1000", "walk after shuffled repeats vs map iteration, 1,000", 0},
         {"BM_WalkAfterRepeats/100000", "BM_MapIterate/100000", "walk after shuffled repeats vs map iteration, 100,000", 0},
         {"BM_Walk", "BM_LockUnlockLoop", "walk vs locking and unlocking every record", 5},
         {"BM_CacheLoad", "BM_ReadCacheFile", "cache load vs reading the file (time per byte)", 4},
         {"BM_CacheStore", "BM_ReadCacheFile", "cache store vs reading the file (time per byte)", 0}});
    status |= PrintAbsolutes();
    std::filesystem::remove(CachePath());
    return status;
}
