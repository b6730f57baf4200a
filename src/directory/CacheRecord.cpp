#include "directory/CacheRecord.h"

#include "directory/Archive.h"
#include "sdp/SDPObject.h"

namespace {

void WriteTexts(CArchiveWriter& out, const CShortTextList& texts)
{
    out.WriteInt(static_cast<int32_t>(texts.size()));
    for (const CShortText& t : texts)
        out.WriteText(t);
}

void ReadTexts(CArchiveReader& in, CShortTextList& texts)
{
    const int32_t n = in.ReadCount(cache::kMinTextSize);
    texts.assign(static_cast<size_t>(n), CShortText());
    for (CShortText& t : texts)
        in.ReadText(t);
}

void WriteMedia(CArchiveWriter& out, const CSDPMedia& m)
{
    for (const CShortText* t : {&m.media, &m.port, &m.protocol, &m.formatList, &m.spare, &m.toolChoice,
                                 &m.mediaLabel, &m.protocolLabel, &m.formatLabel})
        out.WriteText(*t);
    WriteTexts(out, m.attributes);
    for (const CShortText* t : {&m.keyMethod, &m.keyValue, &m.bandwidthModifier, &m.bandwidthValue,
                                 &m.connectionNetworkType, &m.connectionAddressType, &m.connectionAddress,
                                 &m.information, &m.address})
        out.WriteText(*t);
    out.WriteInt(m.ttl);
    out.WriteInt(m.addressCount);
}

void ReadMedia(CArchiveReader& in, CSDPMedia& m)
{
    for (CShortText* t : {&m.media, &m.port, &m.protocol, &m.formatList, &m.spare, &m.toolChoice, &m.mediaLabel,
                           &m.protocolLabel, &m.formatLabel})
        in.ReadText(*t);
    ReadTexts(in, m.attributes);
    for (CShortText* t : {&m.keyMethod, &m.keyValue, &m.bandwidthModifier, &m.bandwidthValue,
                           &m.connectionNetworkType, &m.connectionAddressType, &m.connectionAddress,
                           &m.information, &m.address})
        in.ReadText(*t);
    m.ttl = in.ReadInt();
    m.addressCount = in.ReadInt();
    // The payload list is not stored.
    m.payloadCount = 0;
}

} // namespace

void cache::WriteRecord(CArchiveWriter& out, const CSDPObject& r)
{
    out.WriteInt(r.sourceLength);
    out.WriteInt(r.version);
    for (const CShortText* t : {&r.originUser, &r.originSessionId, &r.originVersion, &r.originNetworkType,
                                 &r.originAddressType, &r.originAddress, &r.name, &r.information, &r.uri, &r.email,
                                 &r.phone, &r.connectionNetworkType, &r.connectionAddressType, &r.connectionAddress,
                                 &r.bandwidthModifier, &r.bandwidthValue})
        out.WriteText(*t);
    out.WriteInt(static_cast<int32_t>(r.times.size()));
    for (const CSDPTime& t : r.times)
        for (const CShortText* s : {&t.start, &t.stop, &t.repeatInterval, &t.activeDuration, &t.offset})
            out.WriteText(*s);
    for (const CShortText& s : r.reserved)
        out.WriteText(s);
    out.WriteText(r.keyMethod);
    out.WriteText(r.keyValue);
    WriteTexts(out, r.attributes);
    out.WriteInt(static_cast<int32_t>(r.media.size()));
    for (const CSDPMedia& m : r.media)
        WriteMedia(out, m);
    out.WriteTime(r.lastHeard);
    out.WriteInt(r.sessionType);
    out.WriteByte(r.own);
}

bool cache::ReadRecord(CArchiveReader& in, CSDPObject& r, bool inDirectory)
{
    const size_t sourceLengthAt = in.Position();
    r.sourceLength = in.ReadInt();
    if (r.sourceLength < 0)
        in.FailAt(sourceLengthAt, "a negative source length");
    r.version = in.ReadInt();
    for (CShortText* t : {&r.originUser, &r.originSessionId, &r.originVersion, &r.originNetworkType,
                           &r.originAddressType, &r.originAddress, &r.name, &r.information, &r.uri, &r.email,
                           &r.phone, &r.connectionNetworkType, &r.connectionAddressType, &r.connectionAddress,
                           &r.bandwidthModifier, &r.bandwidthValue})
        in.ReadText(*t);
    r.times.resize(static_cast<size_t>(in.ReadCount(kMinTimeSize)));
    for (CSDPTime& t : r.times)
        for (CShortText* s : {&t.start, &t.stop, &t.repeatInterval, &t.activeDuration, &t.offset})
            in.ReadText(*s);
    for (CShortText& s : r.reserved)
        in.ReadText(s);
    in.ReadText(r.keyMethod);
    in.ReadText(r.keyValue);
    ReadTexts(in, r.attributes);
    r.media.resize(static_cast<size_t>(in.ReadCount(kMinMediaSize)));
    for (CSDPMedia& m : r.media)
        ReadMedia(in, m);
    (void)in.ReadTime();
    // A flipped byte here would silently turn a directory into a session
    // (or back) and shift everything after it.
    const size_t typeAt = in.Position();
    r.sessionType = in.ReadInt();
    if (r.sessionType < kTypeTest || r.sessionType > kTypeScopeDirectory)
        in.FailAt(typeAt, "a session type outside 0..7");
    else if (inDirectory && r.sessionType == kTypeScopeDirectory)
        in.FailAt(typeAt, "a scope directory inside a directory");
    const size_t ownAt = in.Position();
    r.own = in.ReadByte();
    if (r.own > 1)
        in.FailAt(ownAt, "an own flag other than 0 or 1");
    return !in.Failed();
}
