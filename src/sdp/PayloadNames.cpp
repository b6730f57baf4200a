#include "sdp/PayloadNames.h"

#include "base/Text.h"
#include "sdp/SDPObject.h"


namespace {
const CPayloadType kTable[kHighestStaticPayload + 1] = {
    {"PCMU", "A", 8000, 1},        {"1016", "A", 8000, 1},       {"G721", "A", 8000, 1},
    {"GSM", "A", 8000, 1},         {"unassigned", "A", 8000, 1}, {"DVI4", "A", 8000, 1},
    {"DVI4", "A", 16000, 1},       {"LPC", "A", 8000, 1},        {"PCMA", "A", 8000, 1},
    {"G722", "A", 8000, 1},        {"L16", "A", 44100, 2},       {"L16", "A", 44100, 1},
    {"unassigned", "A", -1, -1},   {"unassigned", "A", -1, -1},  {"MPA", "A", 90000, -1},
    {"G728", "A", 8000, 1},        {"unassigned", "A", -1, -1},  {"unassigned", "A", -1, -1},
    {"unassigned", "A", -1, -1},   {"unassigned", "A", -1, -1},  {"unassigned", "A", -1, -1},
    {"unassigned", "A", -1, -1},   {"unassigned", "A", -1, -1},  {"unassigned", "A", -1, -1},
    {"unassigned", "V", -1, -1},   {"cellb", "V", 90000, -1},    {"jpeg", "V", 90000, -1},
    {"unassigned", "V", -1, -1},   {"nv", "V", 90000, -1},       {"unassigned", "V", -1, -1},
    {"unassigned", "V", -1, -1},   {"h261", "V", 90000, -1},     {"MPV", "V", 90000, -1},
    {"MP2T", "AV", 90000, -1},     {"H263", "V", -1, -1},
};
} // namespace

const CPayloadType& StaticPayloadType(int number)
{
    return kTable[number];
}

std::string RtpmapEncodingName(const std::vector<std::string>& attributes, int number)
{
    const std::string key = "rtpmap:" + std::to_string(number);
    for (const std::string& attr : attributes) {
        size_t at = 0;
        while ((at = attr.find(key, at)) != std::string::npos) {
            size_t after = at + key.size();
            // "rtpmap:96" must not be taken for payload 9.
            if (after < attr.size() && attr[after] >= '0' && attr[after] <= '9') {
                at = after;
                continue;
            }
            while (after < attr.size() && attr[after] == ' ')
                ++after;
            size_t end = attr.find_first_of("/ ", after);
            if (end == std::string::npos)
                end = attr.size();
            return attr.substr(after, end - after);
        }
    }
    return {};
}

void NamePayloads(CSDPMedia& media)
{
    media.payloads.clear();
    text::CTokenizer formats(media.formatList, ' ');
    std::string_view token;
    while (media.payloads.size() < CSDPMedia::kMaxPayloads && formats.Next(token)) {
        CPayload& p = media.payloads.emplace_back();
        p.number = text::ToInt32(token);
        p.name = (p.number >= 0 && p.number <= kHighestStaticPayload)
            ? std::string(kTable[p.number].name)
            : RtpmapEncodingName(media.attributes, p.number);
    }
    media.payloadCount = static_cast<int>(media.payloads.size());
}
