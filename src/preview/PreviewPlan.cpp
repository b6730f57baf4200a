#include "preview/PreviewPlan.h"

#include "base/Text.h"
#include "reception/ReceptionPlan.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"

#include <charconv>

namespace preview {

namespace {

double Number(std::string_view text)
{
    double value = 0;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// What the entry's first format announces: its encoding, and for sound its
// rate and channels (one unless the rtpmap says more).
CStreamFormat Announced(const CSDPMedia& media, const CMediaTarget& target)
{
    CStreamFormat format;
    if (target.announcedTypes.empty())
        return format;
    const int pt = target.announcedTypes.front();
    std::string_view name = RtpmapEncodingName(media.attributes, pt);
    int channels = 0;
    if (name.empty() && pt <= kHighestStaticPayload) {
        name = StaticPayloadType(pt).name;
        channels = StaticPayloadType(pt).channels;
    }
    format.codec = DecoderNameOf(name);
    const std::string prefix = "rtpmap:" + std::to_string(pt) + " ";
    for (const CShortText& attribute : media.attributes) {
        const std::string_view a = attribute;
        if (a.starts_with(prefix)) {
            const std::string_view value = a.substr(prefix.size());
            const size_t second = value.find('/', value.find('/') + 1);
            if (value.find('/') != std::string_view::npos && second != std::string_view::npos)
                channels = int(Number(value.substr(second + 1)));
        } else if (a.starts_with("framerate:")) {
            format.frameRate = Number(a.substr(10));
        }
    }
    if (target.media == "audio") {
        format.sampleRate = int(target.clockRates[size_t(pt)]);
        format.channels = channels > 0 ? channels : 1;
        if (format.codec == "opus" || format.codec == "aac" || format.codec == "aac_latm")
            format.channels = 0; // the rtpmap's count is a convention there, not what is coded
    }
    return format;
}

} // namespace

std::vector<CPreviewSource> PlanPreview(const CSDPObject& session, const std::string& sdpText,
                                        const std::string& interfaceAddress)
{
    std::vector<CPreviewSource> sources;
    const CReceptionPlan plan = PlanReception(session);
    for (const CMediaTarget& target : plan.media) {
        CPreviewSource source;
        source.mediaIndex = target.mediaIndex;
        source.media = target.media;
        source.group = target.address;
        source.port = target.port;
        source.unusable = target.unusable;
        if (!target.ipv6)
            source.interfaceAddress = interfaceAddress;
        source.announced = Announced(session.media[size_t(target.mediaIndex)], target);
        if (target.rtp) {
            source.sdp = MediaSectionSdp(sdpText, target.mediaIndex);
            if (source.sdp.empty() && source.unusable.empty())
                source.unusable = "the entry is missing from the session's text";
        } else if (source.unusable.empty()) {
            // MPEG-TS straight over UDP.
            // The address as we read it, never the announced text itself.
            const std::string host = target.ipv6 ? "[" + text::Ipv6Text(target.group6) + "]" : text::DottedQuad(target.group);
            source.url = "udp://" + host + ":" + std::to_string(target.port) + "?reuse=1&overrun_nonfatal=1&fifo_size=50000";
            if (!source.interfaceAddress.empty())
                source.url += "&localaddr=" + source.interfaceAddress;
            std::string list;
            for (uint32_t s : target.sources)
                list += (list.empty() ? "" : ",") + text::DottedQuad(s);
            if (!list.empty())
                source.url += "&sources=" + list;
            source.announced.codec.clear();
        }
        sources.push_back(std::move(source));
    }
    return sources;
}

} // namespace preview
