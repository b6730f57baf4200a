#include "sdp/PayloadNames.h"

#include "base/Text.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <array>
#include <charconv>


namespace {
constexpr CPayloadType kTable[kHighestStaticPayload + 1] = {
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
// The names with their lengths known, for the parser's hot path.
constexpr auto kStaticNames = [] {
    std::array<std::string_view, kHighestStaticPayload + 1> names{};
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = kTable[i].name;
    return names;
}();
} // namespace

const CPayloadType& StaticPayloadType(int number)
{
    return kTable[number];
}

std::string_view RtpmapEncodingName(const CShortTextList& attributes, int number)
{
    char keyBuffer[24] = "rtpmap:";
    const auto [keyEnd, ec] = std::to_chars(keyBuffer + 7, keyBuffer + sizeof keyBuffer, number);
    (void)ec; // room for any int
    const std::string_view key(keyBuffer, size_t(keyEnd - keyBuffer));
    for (const CShortText& field : attributes) {
        const std::string_view attr = field;
        size_t at = 0;
        while ((at = attr.find(key, at)) != std::string_view::npos) {
            size_t after = at + key.size();
            // "rtpmap:96" must not be taken for payload 9.
            if (after < attr.size() && attr[after] >= '0' && attr[after] <= '9') {
                at = after;
                continue;
            }
            while (after < attr.size() && attr[after] == ' ')
                ++after;
            size_t end = attr.find_first_of("/ ", after);
            if (end == std::string_view::npos)
                end = attr.size();
            return attr.substr(after, end - after);
        }
    }
    return {};
}

namespace {
// The first numbers of an entry's format list, at most the number it names.
size_t FormatNumbers(const CSDPMedia& media, int (&numbers)[CSDPMedia::kMaxPayloads])
{
    size_t count = 0;
    text::CTokenizer formats(media.formatList, ' ');
    for (std::string_view token; count < CSDPMedia::kMaxPayloads && formats.Next(token);)
        numbers[count++] = text::ToInt32(token);
    return count;
}
} // namespace

void NamePayloads(CSDPMedia& media)
{
    int numbers[CSDPMedia::kMaxPayloads];
    media.payloadCount = static_cast<int>(FormatNumbers(media, numbers));
}

std::vector<CPayload> PayloadsOf(const CSDPMedia& media)
{
    int numbers[CSDPMedia::kMaxPayloads];
    const size_t count = std::min(FormatNumbers(media, numbers), static_cast<size_t>(std::max(media.payloadCount, 0)));
    std::vector<CPayload> payloads;
    payloads.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const int number = numbers[i];
        if (number >= 0 && number <= kHighestStaticPayload)
            payloads.push_back(CPayload{number, CShortText(kStaticNames[number])});
        else
            payloads.push_back(CPayload{number, CShortText(RtpmapEncodingName(media.attributes, number))});
    }
    return payloads;
}
