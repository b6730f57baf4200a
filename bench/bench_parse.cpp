// Parser and unwrap throughput on 10,000 varied SDP texts of 200..1500 bytes,
// against a loop that only splits the same texts into lines and reads every
// byte once. With --callgrind=<workload> a program runs one pass of that
// workload alone, for bench/callgrind.sh to count its instructions.
#include "BenchRatio.h"

#include "base/Clock.h"
#include "base/Random.h"
#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

#include <zlib.h>
#ifdef TALMIRA_BENCH_SOFIA
#include <sofia-sip/sdp.h>
#include <sofia-sip/su_alloc.h>
#endif

#include <cstring>
#include <random>

namespace {

std::string MakeText(std::mt19937& rng)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* kinds[] = {"audio", "video", "text", "application", "whiteboard"};
    std::string s = "v=0\n";
    s += "o=user" + std::to_string(pick(1000)) + " " + std::to_string(3000000000u + rng() % 100000000u) + " "
        + std::to_string(pick(99999)) + " IN IP4 10." + std::to_string(pick(255)) + ".0." + std::to_string(pick(255)) + "\n";
    s += "s=Session number " + std::to_string(pick(100000)) + " on multicast topics\n";
    if (pick(2))
        s += "i=A longer description of what this session is about, who talks, and when it happens.\n";
    if (pick(3) == 0)
        s += "u=http://example.org/sessions/" + std::to_string(pick(9999)) + ".html\n";
    s += "e=Organiser <organiser" + std::to_string(pick(99)) + "@example.org>\n";
    if (pick(2))
        s += "p=+44 20 7946 " + std::to_string(1000 + pick(8999)) + "\n";
    s += "c=IN IP4 224.2." + std::to_string(pick(255)) + "." + std::to_string(pick(255)) + "/127\n";
    if (pick(2))
        s += "b=AS:" + std::to_string(64 + pick(2000)) + "\n";
    s += "t=" + std::to_string(3900000000u + rng() % 10000000u) + " " + std::to_string(3910000000u + rng() % 10000000u) + "\n";
    if (pick(3) == 0)
        s += "r=7d 1h 0\n";
    s += "a=tool:Talmira\na=type:" + std::string(pick(2) ? "meeting" : "broadcast") + "\n";
    const int media = 1 + pick(4);
    for (int m = 0; m < media && s.size() < 1300; ++m) {
        const int pt = pick(3) == 0 ? 96 + pick(30) : pick(34);
        s += "m=" + std::string(kinds[pick(5)]) + " " + std::to_string(20000 + 2 * pick(10000)) + " RTP/AVP "
            + std::to_string(pt) + " " + std::to_string(pick(34)) + "\n";
        if (pt >= 96)
            s += "a=rtpmap:" + std::to_string(pt) + " H264/90000\na=fmtp:" + std::to_string(pt)
                + " profile-level-id=42e01f;packetization-mode=1\n";
        if (pick(2))
            s += "c=IN IP4 224.2." + std::to_string(pick(255)) + "." + std::to_string(pick(255)) + "/15\n";
        if (pick(2))
            s += "a=ptime:20\na=recvonly\n";
    }
    while (s.size() < 200)
        s += "a=padding:" + std::string(40, 'p') + "\n";
    if (s.size() > 1500)
        s.resize(1500);
    return s;
}

const std::vector<std::string>& Texts()
{
    static const std::vector<std::string> texts = [] {
        std::mt19937 rng(42);
        std::vector<std::string> out;
        for (int i = 0; i < 10000; ++i)
            out.push_back(MakeText(rng));
        return out;
    }();
    return texts;
}

std::string Compress(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
}

// One in five datagrams carries a zlib stream.
const std::vector<std::string>& Datagrams()
{
    static const std::vector<std::string> datagrams = [] {
        std::vector<std::string> out;
        int i = 0;
        for (const std::string& t : Texts()) {
            const bool compressed = (i++ % 5) == 0;
            std::string d{char(compressed ? 0x21 : 0x20), 0, 0, 0, 10, 0, 0, 1};
            d += compressed ? Compress(t) : t;
            out.push_back(std::move(d));
        }
        return out;
    }();
    return datagrams;
}

// The floor any parser stands on: cut the text into lines at each "\n" and
// read every byte of every line once.
__attribute__((noinline)) size_t SplitAndTouch(const std::string& t)
{
    std::vector<std::string_view> lines;
    const char* p = t.data();
    const char* const end = p + t.size();
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* const stop = nl ? nl : end;
        lines.emplace_back(p, size_t(stop - p));
        p = stop + 1;
    }
    size_t sum = lines.size();
    for (std::string_view line : lines)
        for (char c : line)
            sum += static_cast<unsigned char>(c);
    return sum;
}

__attribute__((noinline)) void Workload_SplitTouch()
{
    size_t sum = 0;
    for (const std::string& t : Texts())
        sum += SplitAndTouch(t);
    benchmark::DoNotOptimize(sum);
}

__attribute__((noinline)) void Workload_Parse(const CSdpEnvironment& env)
{
    for (const std::string& t : Texts())
        benchmark::DoNotOptimize(CSDPObject::FromText(t, env));
}

#ifdef TALMIRA_BENCH_SOFIA
// Another library's SDP parser on the same texts: parse, then free.
__attribute__((noinline)) void Workload_Sofia()
{
    su_home_t* home = static_cast<su_home_t*>(su_home_new(sizeof(su_home_t)));
    for (const std::string& t : Texts()) {
        sdp_parser_t* parser = sdp_parse(home, t.data(), static_cast<issize_t>(t.size()), 0);
        benchmark::DoNotOptimize(sdp_session(parser));
        sdp_parser_free(parser);
    }
    su_home_unref(home);
}

void BM_SofiaParse(benchmark::State& state)
{
    for (auto _ : state)
        Workload_Sofia();
    SetItemsPerIteration(state, static_cast<double>(Texts().size()));
}
BENCHMARK(BM_SofiaParse)->Unit(benchmark::kMillisecond);
#endif

void BM_SplitLines(benchmark::State& state)
{
    for (auto _ : state)
        Workload_SplitTouch();
    SetItemsPerIteration(state, static_cast<double>(Texts().size()));
}

void BM_Parse(benchmark::State& state)
{
    CManualClock clock(1700000000);
    CSystemRandom random;
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
    for (auto _ : state)
        Workload_Parse(env);
    SetItemsPerIteration(state, static_cast<double>(Texts().size()));
}

void BM_UnwrapAndParse(benchmark::State& state)
{
    CManualClock clock(1700000000);
    CSystemRandom random;
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
    CEncryptionGroups groups;
    const auto& datagrams = Datagrams();
    for (auto _ : state)
        for (const std::string& d : datagrams)
            benchmark::DoNotOptimize(DecodeSapDatagram(d, groups, env));
    SetItemsPerIteration(state, static_cast<double>(datagrams.size()));
}

BENCHMARK(BM_SplitLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnwrapAndParse)->Unit(benchmark::kMillisecond);

// One pass of a workload, its inputs made first, for instruction counts.
int RunCallgrindWorkload(std::string_view name)
{
    CManualClock clock(1700000000);
    CSystemRandom random;
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};
    Texts();
    if (name == "SplitTouch")
        Workload_SplitTouch();
    else if (name == "Parse")
        Workload_Parse(env);
#ifdef TALMIRA_BENCH_SOFIA
    else if (name == "Sofia")
        Workload_Sofia();
#endif
    else
        return ReportCallgrindItems(0);
    return ReportCallgrindItems(Texts().size());
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto workload = CallgrindWorkload(argc, argv))
        return RunCallgrindWorkload(*workload);
    // The bound on the split-and-touch floor is in instructions (callgrind,
    // run-bench.sh): times here include cache misses that vary with the
    // machine's load. In time, the parser must beat the other library.
    return RunWithRatios(argc, argv,
                         {{"BM_Parse", "BM_SplitLines", "parse vs. line split and touch (ns per text)", 0},
                          {"BM_Parse", "BM_SofiaParse", "parse vs. another library's SDP parser (ns per text)", 1},
                          {"BM_UnwrapAndParse", "BM_Parse", "unwrap+parse (20% zlib) vs. parse alone (ns per datagram)", 0}});
}
