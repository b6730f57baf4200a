#pragma once
#include "support/FakePrompter.h"
#include "tools/Plugin.h"

#include <memory>
#include <string_view>

// Three small rules: two audio tools (the first with attributes) and a
// video tool.
inline constexpr std::string_view kAudioToolA = R"(media: audio
proto: RTP/AVP
protoname: RTP
tool: toola
toolname: Tool A
attr: mute
attr: title
{
inputvalue: yes
}
fmt: 0
{
fmtname: PCMU
attr: quality
{
attrname: Quality
attrvalue: high
{
attrvaluename: High
def: yes
}
attrvalue: low
{
attrvaluename: Low
}
}
}
fmt: 8
{
fmtname: PCMA
}
fmt: _
{
fmtname: any
}
)";
inline constexpr std::string_view kAudioToolB = "media: audio\nproto: RTP/AVP\nprotoname: RTP\ntool: toolb\n"
                                                "toolname: Tool B\nfmt: 0\n{\nfmtname: PCMU\n}\n";
inline constexpr std::string_view kVideoTool = "media: video\nproto: RTP/AVP\nprotoname: RTP\ntool: toolv\n"
                                               "toolname: Tool V\nfmt: 31\n{\nfmtname: H.261\n}\n";

inline CPluginTable SampleRules()
{
    CFakePrompter prompter;
    CPluginParser parser(prompter);
    CPluginTable table;
    for (std::string_view text : {kAudioToolA, kVideoTool, kAudioToolB}) {
        auto rule = std::make_shared<CPlugin>();
        parser.BeginFile(*rule);
        parser.ParseText(text);
        table.Append(rule);
    }
    return table;
}
