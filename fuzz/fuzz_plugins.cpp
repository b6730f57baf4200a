// Fuzzes the plug-in file grammar and everything that reads its records:
// the registry synchronisation, FindTools and the command-line expansion.
#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/Random.h"
#include "base/Text.h"
#include "sdp/SDPObject.h"
#include "tools/ToolLaunch.h"

#include <cstddef>
#include <cstdint>

namespace {

class CSilentPrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string&, EPromptButtons, EPromptIcon, const std::string&) override
    {
        return EPromptAnswer::No;
    }
};

void CheckOrders(const CToolRegistry& registry)
{
    for (const CMediaListEntry& g : registry.groups) {
        if (g.tools.empty())
            __builtin_trap();
        std::vector<bool> seen(g.tools.size(), false);
        for (const CToolEntry& t : g.tools) {
            if (!t.selected) {
                if (t.order != -1)
                    __builtin_trap();
                continue;
            }
            if (t.order < 0 || static_cast<size_t>(t.order) >= g.tools.size() || seen[static_cast<size_t>(t.order)])
                __builtin_trap();
            seen[static_cast<size_t>(t.order)] = true;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CManualClock clock(1700000000);
    static CScriptedRandom random{7};
    static CSdpEnvironment env{clock, random, nullptr};
    static auto session = CSDPObject::FromText("v=0\no=- 1 1 IN IP4 10.0.0.1\ns=Fuzz \"name\"\nc=IN IP4 239.1.2.3/15\n"
                                               "t=0 0\nm=audio 5004 RTP/AVP 0\na=quality:10\na=rate\n"
                                               "m=video 5006 RTP/AVP 96\n",
                                               env);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CSilentPrompter prompter;
    CPluginParser parser(prompter);
    CPluginTable table;
    // Two files from the same text: the next block kind carries over.
    for (int i = 0; i < 2; ++i) {
        auto plugin = std::make_shared<CPlugin>();
        parser.BeginFile(*plugin);
        if (!parser.ParseText(text))
            return 0;
        if (parser.OpenBlocks() > CPluginParser::kMaxOpenBlocks)
            __builtin_trap();
        plugin->toolName = plugin->toolName.empty() ? plugin->tool : plugin->toolName;
        table.Append(std::move(plugin));
    }
    CToolRegistry registry;
    SyncToolRegistry(registry, table);
    CheckOrders(registry);
    ExecutableLocator locate = [](const std::string& name) { return name.empty() ? std::string() : "/bin/" + name; };
    for (const CSDPMedia& m : session->media) {
        std::vector<CToolLaunch> launches;
        FindTools(*session, m, registry, locate, launches);
        for (const CToolLaunch& l : launches) {
            bool asks = false;
            auto args = CommandArguments(l, "/tmp/x.sdp", &asks);
            if (!l.path.empty() && args.size() + 1 != l.arguments.size())
                __builtin_trap();
            // Every word is UTF-8, and every kept "$(SDPFILE)" sits where it was recorded.
            if (l.sdpFileAt.size() != l.arguments.size())
                __builtin_trap();
            for (size_t i = 0; i < l.arguments.size(); ++i)
                if ((!text::IsValidUtf8(l.arguments[i]) && i + 1 != l.arguments.size()) ||
                    (l.sdpFileAt[i] != std::string::npos && l.arguments[i].compare(l.sdpFileAt[i], 10, "$(SDPFILE)") != 0))
                    __builtin_trap();
        }
    }
    return 0;
}
