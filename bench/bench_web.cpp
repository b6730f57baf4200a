// The web server at scale: the largest page (5,000 rows) of a directory of
// 20,000 sessions from the API (ordered by name, and with a search), against
// parsing that same answer as a client does; and the cost of fanning one
// event out to each event-stream client through the real sockets, against
// appending it. With 100,000 sessions: the dearest searches against one walk
// of the store, the idle second against the same walk, and the memory 256
// slow readers of the largest answers cost against the process's own.
#include "BenchRatio.h"
#include "BenchSessions.h"

#include "web/WebHandlers.h"
#include "web/WebPublisher.h"
#include "web/WebServer.h"
#include "web/WebState.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {
constexpr long kSessions = 20000;

// An answer's whole body, as a client gets it.
CWebResponse Whole(CWebResponse r)
{
    while (r.more && r.more(r.body)) {
    }
    return r;
}

// The store with the web publisher on its view port and the handlers over
// what it publishes.
struct CWebStore : CBenchStore {
    CWebState state{"bench"};
    CWebPublisher publisher{doc, clock, state};
    CWebHandlers handlers{state, CWebAssets{}};
    std::string dirId;

    CWebStore()
        : CBenchStore(kSessions,
                      [](CSessionStore& doc, long i) {
                          std::string sdp = TypicalSdp((i * 7919) % kSessions);
                          return CSDPObject::FromText(sdp, doc.Environment());
                      },
                      true)
    {
        views.Attach(publisher);
        publisher.Flush();
        dirId = state.Snapshot()->directories.at(1)->id;
    }
    ~CWebStore() { views.Detach(publisher); }
    CWebResponse Page(const std::string& search = "")
    {
        std::multimap<std::string, std::string> params{{"limit", "5000"}, {"sort", "name"}};
        if (!search.empty())
            params.emplace("search", search);
        return Whole(handlers.Handle(CWebRequest{"/api/v1/directories/" + dirId + "/sessions", params, ""}));
    }
    // A change publishes a new snapshot, whose orders are worked out anew.
    void Touch()
    {
        auto& first = *dir->links->children->begin();
        first->information = "Changed " + std::to_string(++m_changes);
        publisher.RecordChanged(dir, 0, first);
        publisher.Flush();
    }

private:
    long m_changes = 0;
};

CWebStore& Store()
{
    static CWebStore store;
    return store;
}

void BM_PageOf20000(benchmark::State& state)
{
    CWebStore& store = Store();
    size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        store.Touch(); // no order from an earlier request helps
        state.ResumeTiming();
        const CWebResponse r = store.Page();
        bytes = r.body.size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    SetItemsPerIteration(state, kSessions);
}

void BM_PageOf20000Again(benchmark::State& state)
{
    CWebStore& store = Store();
    for (auto _ : state)
        benchmark::DoNotOptimize(store.Page().body.size());
    SetItemsPerIteration(state, kSessions);
}

void BM_PageOf20000Searched(benchmark::State& state)
{
    CWebStore& store = Store();
    for (auto _ : state)
        benchmark::DoNotOptimize(store.Page("SESSION DESCRIPTION 1").body.size());
    SetItemsPerIteration(state, kSessions);
}

// The reference: what a client spends parsing the same page.
void BM_ParsePageJson(benchmark::State& state)
{
    const QByteArray body = QByteArray::fromStdString(Store().Page().body);
    for (auto _ : state)
        benchmark::DoNotOptimize(QJsonDocument::fromJson(body).object().size());
    SetItemsPerIteration(state, kSessions);
}

// A client reading an event stream until it has seen the id it waits for.
class CStreamReader {
public:
    explicit CStreamReader(int port, const std::string& path = "/api/v1/events", int receiveBuffer = 0)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer)
            setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            std::perror("connect");
        const std::string get = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
        (void)send(m_fd, get.data(), get.size(), 0);
        if (!receiveBuffer)
            m_thread = std::thread([this] { Run(); });
    }
    ~CStreamReader()
    {
        shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        close(m_fd);
    }
    // A slow reader takes one byte.
    void Sip()
    {
        char c;
        (void)recv(m_fd, &c, 1, MSG_DONTWAIT);
    }
    uint64_t Seen() const { return m_seen.load(); }

private:
    void Run()
    {
        std::string pending;
        char buffer[65536];
        for (;;) {
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            pending.append(buffer, static_cast<size_t>(n));
            // The last complete "id: bench-N" line tells how far it got.
            const size_t at = pending.rfind("id: bench-");
            if (at != std::string::npos) {
                const size_t end = pending.find('\n', at);
                if (end != std::string::npos) {
                    m_seen = std::stoull(pending.substr(at + 10, end - at - 10));
                    pending.erase(0, end);
                }
            }
        }
    }
    int m_fd = -1;
    std::thread m_thread;
    std::atomic<uint64_t> m_seen{0};
};

constexpr int kEventsPerRound = 1000;
const QByteArray kEvent = R"({"id":"0123456789abcdef","directory":"main","name":"Seminar on session description 17",)"
                          R"("info":"A seminar","start":"Continually","type":"Meeting","media":"audio video ",)"
                          R"("next_start":0,"active":true,"icon":2,"is_directory":false})";

void BM_FanOut(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    CWebState webState("bench", 100000);
    CWebLimits limits;
    limits.maxStreamClients = 1000;
    limits.maxPerClient = 1000;
    limits.maxConnections = 2000;
    CWebServer server(webState, CWebAssets{}, limits);
    std::string error;
    if (!server.Start("127.0.0.1", 0, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<std::unique_ptr<CStreamReader>> readers;
    for (int i = 0; i < clients; ++i)
        readers.push_back(std::make_unique<CStreamReader>(server.Port()));
    while (webState.streamClients.load() < clients)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (auto _ : state) {
        for (int i = 0; i < kEventsPerRound; ++i)
            webState.Events().Append("added", kEvent);
        const uint64_t last = webState.Events().LastId();
        for (auto& r : readers) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (r->Seen() < last && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::yield();
            if (r->Seen() < last) {
                std::fprintf(stderr, "reader stuck at %llu of %llu\n", (unsigned long long)r->Seen(), (unsigned long long)last);
                state.SkipWithError("a reader fell behind for good");
                break;
            }
        }
    }
    readers.clear();
    server.Stop();
    SetItemsPerIteration(state, double(kEventsPerRound) * clients);
}

// The reference: the same events written straight into a local socket,
// one write each, to a thread that reads them all.
void BM_SocketWrites(benchmark::State& state)
{
    int pair[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    std::atomic<size_t> received{0};
    std::thread reader([&] {
        char buffer[65536];
        for (ssize_t n; (n = recv(pair[1], buffer, sizeof buffer, 0)) > 0;)
            received += static_cast<size_t>(n);
    });
    const std::string event = "id: bench-1\nevent: added\ndata: " + kEvent.toStdString() + "\n\n";
    size_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < kEventsPerRound; ++i)
            sent += static_cast<size_t>(send(pair[0], event.data(), event.size(), 0));
        while (received.load() < sent)
            std::this_thread::yield();
    }
    shutdown(pair[0], SHUT_RDWR);
    reader.join();
    close(pair[0]);
    close(pair[1]);
    SetItemsPerIteration(state, kEventsPerRound);
}
// 100,000 sessions, with the texts that cost a plain search most: 2,000
// names and informations of 999 letters.
constexpr long kLarge = 100000;
struct CLargeStore : CBenchStore {
    CWebState state{"large"};
    CWebPublisher publisher{doc, clock, state};
    CWebHandlers handlers{state, CWebAssets{}};
    std::string dirId;

    CLargeStore()
        : CBenchStore(kLarge,
                      [](CSessionStore& doc, long i) {
                          std::string sdp = TypicalSdp(i);
                          if (i % 50 == 0) {
                              const std::string long999(999, 'a');
                              sdp.replace(sdp.find("s="), sdp.find('\n', sdp.find("s=")) - sdp.find("s="), "s=" + long999);
                              sdp.replace(sdp.find("i="), sdp.find('\n', sdp.find("i=")) - sdp.find("i="), "i=" + long999);
                          }
                          return CSDPObject::FromText(sdp, doc.Environment());
                      },
                      true)
    {
        views.Attach(publisher);
        publisher.Flush();
        dirId = state.Snapshot()->directories.at(1)->id;
    }
    ~CLargeStore() { views.Detach(publisher); }
    CWebResponse Search(const std::string& text)
    {
        return Whole(handlers.Handle(CWebRequest{"/api/v1/directories/" + dirId + "/sessions", {{"search", text}}, ""}));
    }
};

CLargeStore& Large()
{
    static CLargeStore store;
    return store;
}

const std::string kSearches[] = {"b" + std::string(199, 'a'), std::string(199, 'a') + "b", "a", "seminar", "zq"};

void BM_SearchOf100000(benchmark::State& state)
{
    CLargeStore& store = Large();
    const std::string& text = kSearches[state.range(0)];
    store.Search(text); // the orders and the index are made once per snapshot
    for (auto _ : state)
        benchmark::DoNotOptimize(store.Search(text).body.size());
}

// The reference: one walk of the same store, as it runs every second.
void BM_WalkOf100000(benchmark::State& state)
{
    CLargeStore& store = Large();
    for (auto _ : state)
        store.doc.CheckSessions();
}

// What the web server adds to an idle second: the walk's notices and the
// publication they lead to, nothing having changed.
void BM_IdleSecondOf100000(benchmark::State& state)
{
    CLargeStore& store = Large();
    for (auto _ : state) {
        state.PauseTiming();
        store.clock.Advance(1);
        store.publisher.BeginWalk();
        state.ResumeTiming();
        store.publisher.EndWalk();
        store.publisher.Flush();
    }
}

size_t ResidentBytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// 256 readers of the largest answers (the playlist, a page of 5,000) who
// take a byte a second: the process's growth, against its size before.
void SlowReaders()
{
    CLargeStore& store = Large();
    CWebLimits limits;
    limits.maxPerClient = 300;
    limits.maxConnections = 300;
    CWebServer server(store.state, CWebAssets{}, limits);
    std::string error;
    if (!server.Start("127.0.0.1", 0, &error)) {
        std::printf("slow readers: %s\n", error.c_str());
        return;
    }
    const size_t before = ResidentBytes();
    size_t peak = before;
    {
        std::vector<std::unique_ptr<CStreamReader>> readers;
        const std::string page = "/api/v1/directories/" + store.dirId + "/sessions?limit=5000";
        for (int i = 0; i < 256; ++i)
            readers.push_back(std::make_unique<CStreamReader>(server.Port(), i % 2 ? page : "/api/v1/playlist.m3u", 4096));
        for (int second = 0; second < 8; ++second) {
            for (int tenth = 0; tenth < 10; ++tenth) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                peak = std::max(peak, ResidentBytes());
            }
            for (auto& r : readers)
                r->Sip();
        }
    }
    server.Stop();
    const double mb = 1024.0 * 1024.0;
    std::printf("256 slow readers of the playlist and pages of 5,000 (100,000 sessions): process %.0f MB before, "
                "peak %.0f MB, +%.0f MB (bound: +300 MB)%s\n",
                before / mb, peak / mb, (peak - before) / mb, peak - before < 300 * mb ? "" : "  OVER BOUND");
}
} // namespace

BENCHMARK(BM_SearchOf100000)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkOf100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleSecondOf100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageOf20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageOf20000Again)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageOf20000Searched)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParsePageJson)->Unit(benchmark::kMillisecond);
// Wall time: the work happens on the server's threads.
BENCHMARK(BM_FanOut)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SocketWrites)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int status = RunWithRatios(
        argc, argv,
        {{"BM_PageOf20000", "BM_ParsePageJson", "page of 20,000 (fresh order) vs a client parsing it", 0},
         {"BM_PageOf20000Again", "BM_ParsePageJson", "page of 20,000 (order known) vs a client parsing it", 0},
         {"BM_PageOf20000Searched", "BM_ParsePageJson", "page of 20,000 searched vs a client parsing it", 0},
         {"BM_FanOut/1/real_time", "BM_SocketWrites/real_time", "event to 1 stream client vs a socket write", 0, true, true},
         {"BM_FanOut/10/real_time", "BM_SocketWrites/real_time", "event per client, 10 clients vs a socket write", 0, true, true},
         {"BM_FanOut/50/real_time", "BM_SocketWrites/real_time", "event per client, 50 clients vs a socket write", 0, true, true},
         {"BM_SearchOf100000/0", "BM_WalkOf100000", "search 'baa..a' (200) in 100,000 vs one walk", 0},
         {"BM_SearchOf100000/1", "BM_WalkOf100000", "search 'aa..ab' (200) in 100,000 vs one walk", 0},
         {"BM_SearchOf100000/2", "BM_WalkOf100000", "search 'a' in 100,000 vs one walk", 0},
         {"BM_SearchOf100000/3", "BM_WalkOf100000", "search 'seminar' in 100,000 vs one walk", 0},
         {"BM_SearchOf100000/4", "BM_WalkOf100000", "search 'zq' in 100,000 vs one walk", 0},
         {"BM_IdleSecondOf100000", "BM_WalkOf100000", "web server's idle second (100,000) vs one walk", 0}});
    // The goals are absolute: any search of 100,000 under 20 ms of CPU, an
    // idle second under 20 ms (2 % of a core).
    for (int i = 0; i < 5; ++i) {
        const std::clock_t start = std::clock();
        benchmark::DoNotOptimize(Large().Search(kSearches[i]).body.size());
        const double ms = 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC;
        std::printf("search %d of 100,000 sessions: %.1f ms of CPU (goal: under 20 ms)%s\n", i, ms, ms < 20 ? "" : "  OVER GOAL");
    }
    {
        const std::clock_t start = std::clock();
        for (int second = 0; second < 10; ++second) {
            Large().clock.Advance(1);
            Large().publisher.BeginWalk();
            Large().publisher.EndWalk();
            Large().publisher.Flush();
        }
        const double share = double(std::clock() - start) / CLOCKS_PER_SEC / 10;
        std::printf("idle web server with 100,000 sessions: %.2f %% of a core (goal: under 2 %%)%s\n", 100 * share,
                    share < 0.02 ? "" : "  OVER GOAL");
    }
    SlowReaders();
    // The goal is absolute: a page of 20,000 sessions in under 50 ms.
    std::vector<double> ms;
    for (int i = 0; i < 9; ++i) {
        Store().Touch();
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Store().Page().body.size());
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("\na page of 5,000 of 20,000 sessions, fresh order: median %.1f ms, slowest %.1f ms (goal: under 50 ms)%s\n",
                ms[ms.size() / 2], ms.back(), ms[ms.size() / 2] < 50 ? "" : "  OVER GOAL");
    return status;
}
