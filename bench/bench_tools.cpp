// Loading 200 plug-in files and synchronising the registry (ms), against
// only reading the same files; FindTools + ExpandToolCommand for a 4-media
// session (µs), against parsing that session's SDP text.
#include "BenchRatio.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "tools/ToolLauncher.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

class CQuietPrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string&, EPromptButtons, EPromptIcon, const std::string&) override
    {
        return EPromptAnswer::Ok;
    }
};

// 200 plug-in files: four media kinds, a dozen formats each, attributes
// with values and macros, and a few command-line parts.
const std::string& InstallDir()
{
    static const std::string dir = [] {
        std::string pattern = (fs::temp_directory_path() / "talmira-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        fs::create_directories(fs::path(pattern) / "plugins");
        const char* media[] = {"audio", "video", "text", "whiteboard"};
        for (int i = 0; i < 200; ++i) {
            std::string t = "# generated\nmedia: " + std::string(media[i % 4]) + "\nproto: RTP/AVP\nprotoname: RTP\n";
            t += "tool: tool" + std::to_string(i) + "\ntoolname: Tool " + std::to_string(i) + "\n";
            t += "description: a generated plug-in for measuring the loader\ndate: 2026-12-06\n";
            for (int f = 0; f < 12; ++f) {
                t += "fmt: " + std::to_string((f * 7 + i) % 128) + "\n{\n  fmtname: Format " + std::to_string(f) + "\n";
                t += "  attr: quality\n  {\n    attrname: Quality\n";
                for (int v = 0; v < 3; ++v)
                    t += "    attrvalue: " + std::to_string(v * 10) + "\n    {\n      flags: -q " + std::to_string(v) +
                         "\n      macro: Q\n      {\n        value: q$(VALUE)\n      }\n    }\n";
                t += "  }\n}\n";
            }
            t += "flags: -a $(ADDRESS) -p $(PORT) -t $(TTL)\nflags: -n $(SESSNAME) -c $(CHAN)\nflags: -i $(SDPFILE)\n";
            std::ofstream(fs::path(pattern) / "plugins" / ("rev2.plugin.bench" + std::to_string(1000 + i))) << t;
        }
        return pattern;
    }();
    return dir;
}

void BM_ReadPluginFiles(benchmark::State& state)
{
    const fs::path folder = fs::path(InstallDir()) / "plugins";
    for (auto _ : state) {
        size_t bytes = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()).size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    SetItemsPerIteration(state, 1);
}

void BM_LoadPluginsAndSync(benchmark::State& state)
{
    CQuietPrompter prompter;
    CToolData data;
    data.installDir = InstallDir();
    for (auto _ : state) {
        ClearPlugins(data.plugins);
        ClearToolRegistry(data.registry);
        if (LoadPlugins(data.installDir, data.plugins, prompter) != EPluginLoad::Ok || data.plugins.Count() != 200)
            state.SkipWithError("load failed");
        SyncToolRegistry(data.registry, data.plugins);
        benchmark::DoNotOptimize(data.registry.groups.size());
    }
    SetItemsPerIteration(state, 1);
}

const std::string kSession = "v=0\no=- 123 1 IN IP4 10.0.0.1\ns=Four media\nc=IN IP4 239.1.2.3/15\nt=0 0\n"
                             "m=audio 5004 RTP/AVP 14\na=quality:10\n"
                             "m=video 5006 RTP/AVP 21\na=quality:20\n"
                             "m=text 5008 RTP/AVP 28\n"
                             "m=whiteboard 5010 RTP/AVP 35\na=quality:15\n";

void BM_ParseSession(benchmark::State& state)
{
    CSystemClock clock;
    CSystemRandom random;
    CSdpEnvironment env{clock, random, nullptr};
    for (auto _ : state)
        benchmark::DoNotOptimize(CSDPObject::FromText(kSession, env));
    SetItemsPerIteration(state, 1);
}

void BM_FindAndExpand4Media(benchmark::State& state)
{
    CQuietPrompter prompter;
    CToolData data;
    data.installDir = InstallDir();
    LoadPlugins(data.installDir, data.plugins, prompter);
    SyncToolRegistry(data.registry, data.plugins);
    CSystemClock clock;
    CSystemRandom random;
    CSdpEnvironment env{clock, random, nullptr};
    auto session = CSDPObject::FromText(kSession, env);
    // The executable look-up itself is the file system's cost, not ours.
    ExecutableLocator locate = [](const std::string& name) { return "/usr/bin/" + name; };
    size_t launches = 0;
    for (auto _ : state) {
        for (const CSDPMedia& m : session->media) {
            std::vector<CToolLaunch> out;
            FindTools(*session, m, data.registry, locate, out);
            launches += out.size();
        }
    }
    benchmark::DoNotOptimize(launches);
    if (launches == 0)
        state.SkipWithError("no launch found");
    state.counters["launches"] = static_cast<double>(launches) / static_cast<double>(state.iterations());
    SetItemsPerIteration(state, 1);
}

BENCHMARK(BM_ReadPluginFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPluginsAndSync)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseSession)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindAndExpand4Media)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    const int status = RunWithRatios(
        argc, argv,
        {{"BM_LoadPluginsAndSync", "BM_ReadPluginFiles", "load 200 plug-ins + sync vs. reading the files", 0},
         {"BM_FindAndExpand4Media", "BM_ParseSession", "FindTools+Expand (4 media) vs. parsing the session", 0}});
    std::error_code ec;
    fs::remove_all(InstallDir(), ec);
    return status;
}
