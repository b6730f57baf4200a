#pragma once
// Runs the registered benchmarks and then prints ratios between pairs of
// them, measured in the same run, with an optional upper bound each.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CBenchRatio {
    std::string numerator;   // benchmark name (as reported, e.g. "BM_Parse")
    std::string denominator;
    std::string label;
    double limit = 0;        // 0: no bound
    // The reference's elapsed time, not its CPU time: a reference that waits
    // for a device (reading from the disk) against work that does not.
    bool referenceWallClock = false;
    // The measured work's elapsed time too: work done on other threads
    // (a server's) while the benchmark's own thread waits.
    bool numeratorWallClock = false;
};

class CCollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // A benchmark run several times counts by its median run, which
            // a neighbour's burst on a shared machine does not move.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type != Run::RT_Iteration && !median) || run.iterations == 0)
                continue;
            const std::string name = median ? run.run_name.str() : run.benchmark_name();
            double itemsPerIteration = 1;
            auto it = run.counters.find("items_per_iter");
            if (it != run.counters.end() && it->second.value > 0)
                itemsPerIteration = it->second.value;
            nsPerItem[name] = run.GetAdjustedCPUTime() * NsPerUnit(run.time_unit) / itemsPerIteration;
            wallNsPerItem[name] = run.GetAdjustedRealTime() * NsPerUnit(run.time_unit) / itemsPerIteration;
        }
    }
    std::map<std::string, double> nsPerItem;
    std::map<std::string, double> wallNsPerItem;

private:
    static double NsPerUnit(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kSecond: return 1e9;
        case benchmark::kMillisecond: return 1e6;
        case benchmark::kMicrosecond: return 1e3;
        default: return 1;
        }
    }
};

// Returns the process exit status: 1 when a ratio passed its bound.
inline int RunWithRatios(int argc, char** argv, const std::vector<CBenchRatio>& ratios)
{
    benchmark::Initialize(&argc, argv);
    CCollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    int status = 0;
    std::printf("\n%-55s %12s %12s %9s\n", "ratio", "ns/item", "ref ns/item", "ratio");
    for (const CBenchRatio& r : ratios) {
        const std::map<std::string, double>& refTimes = r.referenceWallClock ? reporter.wallNsPerItem : reporter.nsPerItem;
        const std::map<std::string, double>& times = r.numeratorWallClock ? reporter.wallNsPerItem : reporter.nsPerItem;
        auto a = times.find(r.numerator), b = refTimes.find(r.denominator);
        if (a == times.end() || b == refTimes.end() || b->second <= 0)
            continue;
        const double ratio = a->second / b->second;
        const bool over = r.limit > 0 && ratio > r.limit;
        std::printf("%-55s %12.1f %12.1f %8.2fx%s\n", r.label.c_str(), a->second, b->second, ratio,
                    r.limit > 0 ? (over ? "  OVER LIMIT" : "  ok") : "");
        if (r.limit > 0)
            std::printf("%-55s limit %.2fx\n", "", r.limit);
        if (over)
            status = 1;
    }
    return status;
}

// Marks a benchmark as processing `items` items per iteration.
inline void SetItemsPerIteration(benchmark::State& state, double items)
{
    state.counters["items_per_iter"] = items;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items));
}

// The workload a sole --callgrind=NAME argument names (bench/callgrind.sh),
// or nothing for a normal run.
inline std::optional<std::string_view> CallgrindWorkload(int argc, char** argv)
{
    constexpr std::string_view kFlag = "--callgrind=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(kFlag))
        return std::string_view(argv[1]).substr(kFlag.size());
    return std::nullopt;
}

// Tells bench/callgrind.sh how many items one pass handled; 0 means the
// workload was unknown (exit status 2).
inline int ReportCallgrindItems(size_t items)
{
    if (items == 0)
        return 2;
    std::printf("items %zu\n", items);
    return 0;
}
