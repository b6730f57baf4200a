// The window taking in new sessions: the main window (tree, sorted list,
// their delegates) shown offscreen with a flooded directory's list on
// screen, fed through the store's own notices in passes as a socket's read
// notifications hand them over, with the event loop (timers, layout,
// painting) running between the passes. Against it, the same store taking
// the same sessions with no window. Both parse each announcement as the
// receive path does. 5,000 new sessions with 0, 10,000 and 100,000 already
// listed, and 50,000 into 100,000; the goal is the window at 90 % or more of
// the store's rate (a ratio of at most 1.11 in time per session).
#include "BenchRatio.h"
#include "BenchSessions.h"

#include "base/ViewFanOut.h"
#include "gui/MainFrame.h"
#include "sap/SapCodec.h"
#include "sdp/SDPObject.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace {

// With PERF_CTL naming a perf control fifo, the profile covers only the
// window's measured runs, not the store's or the window's making:
//   mkfifo ctl; PERF_CTL=ctl perf record -D -1 --control=fifo:ctl ...
void Profile(const char* command)
{
    static const int fd = std::getenv("PERF_CTL") ? open(std::getenv("PERF_CTL"), O_WRONLY) : -1;
    if (fd >= 0 && write(fd, command, std::strlen(command)) < 0)
        std::perror("PERF_CTL");
}

// New sessions per read notification (what one pass of the socket hands
// over under a flood). A run takes 5,000 new sessions, a burst shorter
// than the list's first gathering delay, or 50,000: a flood long enough
// for the list to gather larger batches as showing them costs more.
constexpr long kPerPass = 100;

// Names scattered over the alphabet, so a sorted list places each new row
// somewhere else; every other session has times of its own (a two-hour
// slot somewhere in the next week), so its Start cell shows a date.
std::string ScatteredSdp(long id)
{
    std::string text = TypicalSdp(id);
    const std::string from = "s=Seminar on session description " + std::to_string(id);
    text.replace(text.find(from), from.size(),
                 "s=" + std::string(1, static_cast<char>('A' + (id * 7) % 26)) + " seminar " +
                     std::to_string((id * 104729) % 1000003));
    if (id % 2 == 1) {
        constexpr long long kNtpOffset = 2208988800LL, kBenchNow = 1700000000LL;
        const long long start = kNtpOffset + kBenchNow + (id * 7919) % (7 * 86400);
        text.replace(text.find("t=0 0"), 5, "t=" + std::to_string(start) + " " + std::to_string(start + 7200));
    }
    return text;
}

struct CFloodedStore : CBenchStore {
    long next;

    explicit CFloodedStore(long count)
        : CBenchStore(count, [](CSessionStore& doc, long i) { return CSDPObject::FromText(ScatteredSdp(i), doc.Environment()); },
                      true),
          next(count)
    {
    }
    // One announcement of a session not heard before, as a socket hands it over.
    void AnnounceNew()
    {
        doc.OnSapMessage(ESapAction::Announce, CSDPObject::FromText(ScatteredSdp(next++), doc.Environment()), dir);
    }
};

// The main window with the store's directory picked in the tree.
struct CShownWindow {
    CMainFrame frame;

    explicit CShownWindow(CFloodedStore& store) : frame(store.doc, store.views, store.prompter, nullptr)
    {
        frame.show();
        QTreeView& tree = frame.TreeView();
        const QModelIndex root = tree.model()->index(0, 0);
        for (int row = 0; row < tree.model()->rowCount(root); ++row)
            if (tree.model()->index(row, 0, root).data().toString() == "TTL Scope")
                tree.setCurrentIndex(tree.model()->index(row, 0, root));
        Settle();
    }
    // Lets the window lay itself out and paint, and the list make its
    // search keys: a user looks at a loaded list before the flood comes.
    void Settle()
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 200 || (frame.SortedList().Source().SearchKeysPending() && waited.elapsed() < 5000))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    int Shown() const { return frame.SortedList().rowCount(); }
};

void BM_StoreTakesNew(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<CFloodedStore>(state.range(0));
        state.ResumeTiming();
        for (long i = 0; i < state.range(1); ++i)
            store->AnnounceNew();
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    SetItemsPerIteration(state, static_cast<double>(state.range(1)));
}

// The passes come from a zero timer, so painting, layout and the views'
// own timers run between them as they would between read notifications;
// the run ends when the last session is a row of the sorted list and the
// window has painted it.
void BM_WindowTakesNew(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<CFloodedStore>(state.range(0));
        auto window = std::make_unique<CShownWindow>(*store);
        const long count = state.range(1);
        const int expected = window->Shown() + static_cast<int>(count);
        state.ResumeTiming();
        Profile("enable\n");
        QEventLoop loop;
        long sent = 0;
        QTimer passes;
        passes.setInterval(0);
        QObject::connect(&passes, &QTimer::timeout, [&] {
            if (sent < count) {
                for (long i = 0; i < kPerPass && sent < count; ++i, ++sent)
                    store->AnnounceNew();
                return;
            }
            // Everything is in; wait for the rows without spinning.
            passes.setInterval(1);
            if (window->Shown() >= expected) {
                window->frame.ListView().viewport()->repaint();
                loop.quit();
            }
        });
        passes.start();
        loop.exec();
        Profile("disable\n");
        state.PauseTiming();
        window.reset();
        store.reset();
        state.ResumeTiming();
    }
    SetItemsPerIteration(state, static_cast<double>(state.range(1)));
}

// Rows listed, new sessions. Each side runs seven times and counts by its
// median run.
constexpr std::pair<long, long> kCases[] = {{0, 5000}, {10000, 5000}, {100000, 5000}, {100000, 50000}};
void Cases(benchmark::internal::Benchmark* bench)
{
    for (const auto& [rows, count] : kCases)
        bench->Args({rows, count});
    bench->Iterations(3)->Repetitions(7)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_StoreTakesNew)->Apply(Cases);
BENCHMARK(BM_WindowTakesNew)->Apply(Cases);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Memory given back to the system between runs would be faulted in
    // again inside the next one, by whichever side runs then: a
    // long-running program's allocator keeps it (glibc raises both bounds
    // itself after the first large block is freed).
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    QApplication app(argc, argv);
    std::vector<CBenchRatio> ratios;
    for (const auto& [rows, count] : kCases) {
        const std::string args = std::to_string(rows) + "/" + std::to_string(count) + "/iterations:3/repeats:7";
        ratios.push_back({"BM_WindowTakesNew/" + args, "BM_StoreTakesNew/" + args,
                          "new session, window vs store, " + std::to_string(count) + " into " + std::to_string(rows),
                          1.11});
    }
    // The two sides' runs come in a random order rather than all of one
    // and then all of the other: a slow spell of the shared machine then
    // falls on both. Flags given on the command line still win.
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    return RunWithRatios(static_cast<int>(args.size()), args.data(), ratios);
}
