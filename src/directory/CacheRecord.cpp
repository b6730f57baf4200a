#include "directory/CacheRecord.h"

#include "directory/Archive.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace {

// An own session's announcement TTL rides in the last reserved text, which
// no other writer fills and every reader of the file keeps as it is.
constexpr size_t kTtlSlot = 3;
constexpr std::string_view kTtlTag = "ttl=";

std::string TtlText(const CSDPObject& r)
{
    if (!r.own || r.announceTtl < 1 || r.announceTtl > 255 || !r.extras->reserved[kTtlSlot].empty())
        return {};
    return std::string(kTtlTag) + std::to_string(r.announceTtl);
}

// The TTL a reserved text holds, 0 when it holds none.
int TtlOf(std::string_view text)
{
    if (!text.starts_with(kTtlTag))
        return 0;
    text.remove_prefix(kTtlTag.size());
    int ttl = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ttl);
    return error == std::errc() && end == text.data() + text.size() && ttl >= 1 && ttl <= 255 ? ttl : 0;
}

void WriteTexts(CArchiveWriter& out, const CShortTextList& texts)
{
    out.WriteInt(static_cast<int32_t>(texts.size()));
    for (const CShortText& t : texts)
        out.WriteText(t);
}

void ReadTexts(CArchiveReader& in, CShortTextList& texts, CShortTextPool& pool)
{
    const int32_t n = in.ReadCount(cache::kMinTextSize);
    texts.assign(static_cast<size_t>(n), CShortText());
    for (CShortText& t : texts)
        t.assign(in.ReadTextView(), pool);
}

// Fields most records leave at their defaults: their block is made only for
// another value.
template <class T>
void ReadRare(CArchiveReader& in, CRareFields<T>& rare, std::initializer_list<CShortText T::*> fields,
              CShortTextPool& pool)
{
    for (CShortText T::*field : fields)
        rare.Set(field, in.ReadTextView(), pool);
}

void WriteMedia(CArchiveWriter& out, const CSDPMedia& m)
{
    const CSDPMediaExtras& x = *m.extras;
    for (const CShortText* t : {&m.media, &m.port, &m.protocol, &m.formatList, &x.spare, &x.toolChoice, &x.mediaLabel,
                                 &x.protocolLabel, &x.formatLabel})
        out.WriteText(*t);
    WriteTexts(out, m.attributes);
    for (const CShortText* t : {&x.keyMethod, &x.keyValue, &x.bandwidthModifier, &x.bandwidthValue,
                                 &x.connectionNetworkType, &x.connectionAddressType, &m.connectionAddress,
                                 &m.information, &m.address})
        out.WriteText(*t);
    out.WriteInt(m.ttl);
    out.WriteInt(m.addressCount);
}

void ReadMedia(CArchiveReader& in, CSDPMedia& m, CShortTextPool& pool)
{
    for (CShortText* t : {&m.media, &m.port, &m.protocol, &m.formatList})
        t->assign(in.ReadTextView(), pool);
    using X = CSDPMediaExtras;
    ReadRare(in, m.extras, {&X::spare, &X::toolChoice, &X::mediaLabel, &X::protocolLabel, &X::formatLabel}, pool);
    ReadTexts(in, m.attributes, pool);
    ReadRare(in, m.extras, {&X::keyMethod, &X::keyValue, &X::bandwidthModifier, &X::bandwidthValue,
                            &X::connectionNetworkType, &X::connectionAddressType}, pool);
    for (CShortText* t : {&m.connectionAddress,
                           &m.information, &m.address})
        t->assign(in.ReadTextView(), pool);
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
                                 &r.extras->bandwidthModifier, &r.extras->bandwidthValue})
        out.WriteText(*t);
    out.WriteInt(static_cast<int32_t>(r.times.size()));
    for (const CSDPTime& t : r.times)
        for (const CShortText* s : {&t.start, &t.stop, &t.repeatInterval, &t.activeDuration, &t.offset})
            out.WriteText(*s);
    const std::string ttl = TtlText(r);
    for (size_t k = 0; k < r.extras->reserved.size(); ++k)
        out.WriteText(k == kTtlSlot && !ttl.empty() ? std::string_view(ttl) : std::string_view(r.extras->reserved[k]));
    out.WriteText(r.extras->keyMethod);
    out.WriteText(r.extras->keyValue);
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
    // The stored texts of a heard session take about as many bytes as the
    // SDP text it came from; the rest get blocks of their own.
    CShortTextPool& pool = r.textPool;
    pool.Reserve(std::min<size_t>(static_cast<size_t>(std::max(r.sourceLength, 0)) + 64, in.Remaining()));
    for (CShortText* t : {&r.originUser, &r.originSessionId, &r.originVersion, &r.originNetworkType,
                           &r.originAddressType, &r.originAddress, &r.name, &r.information, &r.uri, &r.email,
                           &r.phone, &r.connectionNetworkType, &r.connectionAddressType, &r.connectionAddress})
        t->assign(in.ReadTextView(), pool);
    using X = CSDPExtras;
    ReadRare(in, r.extras, {&X::bandwidthModifier, &X::bandwidthValue}, pool);
    r.times.resize(static_cast<size_t>(in.ReadCount(kMinTimeSize)));
    for (CSDPTime& t : r.times)
        for (CShortText* s : {&t.start, &t.stop, &t.repeatInterval, &t.activeDuration, &t.offset})
            s->assign(in.ReadTextView(), pool);
    int announceTtl = 0;
    for (size_t k = 0; k < r.extras->reserved.size(); ++k) {
        const std::string_view text = in.ReadTextView();
        if (k == kTtlSlot && (announceTtl = TtlOf(text)) != 0)
            continue;
        if (!text.empty())
            r.extras.Edit().reserved[k].assign(text, pool);
    }
    ReadRare(in, r.extras, {&X::keyMethod, &X::keyValue}, pool);
    ReadTexts(in, r.attributes, pool);
    r.media.resize(static_cast<size_t>(in.ReadCount(kMinMediaSize)));
    for (CSDPMedia& m : r.media)
        ReadMedia(in, m, pool);
    r.TrimTextPool();
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
    r.announceTtl = r.own ? announceTtl : 0;
    return !in.Failed();
}
