#include "sap/SapCodec.h"

#include "base/HashMix.h"
#include "base/Text.h"
#include "sap/EncryptionGroups.h"

#include <zlib.h>

#include <arpa/inet.h>

#include <bit>
#include <cstring>
#include <optional>

const char* SapActionName(ESapAction action)
{
    switch (action) {
    case ESapAction::Announce: return "announce";
    case ESapAction::Delete: return "delete";
    case ESapAction::Drop: break;
    }
    return "drop";
}

namespace {

uint32_t ReadBE32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t ReadLE32(const unsigned char* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
const unsigned char* Bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// Tries every group with the key identifier in table order; nothing when
// none gives a text that starts with "v=".
std::optional<std::string> Decrypt(std::string_view payload, const CEncryptionGroups& groups, std::string& reason)
{
    const uint32_t keyId = ReadBE32(Bytes(payload));
    const std::string_view cipher = payload.substr(12);
    if (cipher.size() % 8 != 0) {
        reason = "ciphertext length not a multiple of 8";
        return std::nullopt;
    }
    CDesDecryptor des;
    bool anyGroup = false;
    for (auto g = groups.FindGroup(keyId, 0); g; g = groups.FindGroup(keyId, g->index + 1)) {
        anyGroup = true;
        des.SetKey(*g->key);
        // A wrong key usually gives a bad padding count too; that only rules
        // out this group, not the next one with the same id.
        std::optional<std::string> plain = des.Decrypt(cipher);
        if (plain && plain->size() >= 2 && (*plain)[0] == 'v' && (*plain)[1] == '=')
            return plain;
    }
    reason = anyGroup ? "no group key gives an SDP text" : "no encryption group with this key id";
    return std::nullopt;
}

// Skips a gzip member's header; leaves the deflate data and the 8-byte trailer.
std::optional<std::string_view> SkipGzipHeader(std::string_view p, std::string& reason)
{
    const unsigned char* b = Bytes(p);
    if (p.size() < 10 || b[2] != 8 || (b[3] & 0xE0) != 0) {
        reason = "bad gzip header";
        return std::nullopt;
    }
    const uint8_t flags = b[3];
    size_t at = 10;
    auto left = [&] { return at < p.size(); };
    if (!left()) { reason = "gzip header runs past the end"; return std::nullopt; }
    if (flags & 0x04) { // FEXTRA
        if (p.size() - at < 2) { reason = "gzip extra field past the end"; return std::nullopt; }
        const size_t xlen = size_t(b[at]) | size_t(b[at + 1]) << 8;
        at += 2;
        if (xlen >= p.size() - at) { reason = "gzip extra field past the end"; return std::nullopt; }
        at += xlen;
    }
    for (uint8_t textFlag : {uint8_t(0x08), uint8_t(0x10)}) { // FNAME, FCOMMENT
        if (!(flags & textFlag))
            continue;
        const void* nul = std::memchr(b + at, 0, p.size() - at);
        if (!nul) { reason = "gzip name or comment past the end"; return std::nullopt; }
        at = size_t(static_cast<const unsigned char*>(nul) - b) + 1;
        if (!left()) { reason = "gzip header runs past the end"; return std::nullopt; }
    }
    if (flags & 0x02) { // FHCRC
        at += 2;
        if (!left()) { reason = "gzip header runs past the end"; return std::nullopt; }
    }
    if (p.size() - at <= 8) {
        reason = "gzip member too short for its trailer";
        return std::nullopt;
    }
    return p.substr(at);
}

std::optional<std::string> Gunzip(std::string_view p, std::string& reason)
{
    auto body = SkipGzipHeader(p, reason);
    if (!body)
        return std::nullopt;
    const std::string_view deflate = body->substr(0, body->size() - 8);
    const unsigned char* trailer = Bytes(*body) + body->size() - 8;
    auto out = InflateSapPayload(deflate, -15, &reason);
    if (!out)
        return std::nullopt;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), Bytes(*out), static_cast<uInt>(out->size()));
    if (ReadLE32(trailer) != crc) {
        reason = "gzip CRC-32 mismatch";
        return std::nullopt;
    }
    if (ReadLE32(trailer + 4) != out->size()) {
        reason = "gzip size mismatch";
        return std::nullopt;
    }
    return out;
}

// Dotted quad or IPv6 text. Every datagram needs one, so the common IPv4
// case is written here rather than through the printf behind inet_ntop.
std::string AddressText(std::string_view bytes)
{
    if (bytes.size() == 4) {
        char buffer[16];
        char* out = buffer;
        for (size_t i = 0; i < 4; ++i) {
            const unsigned v = static_cast<unsigned char>(bytes[i]);
            if (i)
                *out++ = '.';
            if (v >= 100)
                *out++ = static_cast<char>('0' + v / 100);
            if (v >= 10)
                *out++ = static_cast<char>('0' + v / 10 % 10);
            *out++ = static_cast<char>('0' + v % 10);
        }
        return std::string(buffer, out);
    }
    char buffer[INET6_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET6, bytes.data(), buffer, sizeof buffer) ? buffer : "";
}

bool IsTokenChar(unsigned char c)
{
    return c > 0x20 && c < 0x7F && !std::strchr("()<>@,;:\\\"/[]?=", c);
}

// "type/subtype" made of token characters.
bool IsMimeType(std::string_view s)
{
    const size_t slash = s.find('/');
    if (slash == 0 || slash == std::string_view::npos || slash + 1 >= s.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (i != slash && !IsTokenChar(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

} // namespace

std::optional<std::string> InflateSapPayload(std::string_view input, int windowBits, std::string* reason)
{
    auto fail = [&](const char* why) -> std::optional<std::string> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK)
        return fail("inflate init failed");
    std::string out(sap::kInflateStart, '\0');
    zs.next_in = const_cast<Bytef*>(Bytes(input));
    zs.avail_in = static_cast<uInt>(input.size());
    size_t produced = 0;
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef*>(out.data()) + produced;
        zs.avail_out = static_cast<uInt>(out.size() - produced);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        produced = out.size() - zs.avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK) {
            inflateEnd(&zs);
            return fail("compressed data is corrupt or truncated");
        }
        if (zs.avail_out != 0) {
            inflateEnd(&zs);
            return fail("compressed stream ends early");
        }
        if (out.size() * 2 > sap::kInflateLimit) {
            inflateEnd(&zs);
            return fail("decompressed payload too large");
        }
        out.resize(out.size() * 2);
    }
    inflateEnd(&zs);
    out.resize(produced);
    return out;
}

namespace {

// An unwrapped datagram whose text still lies in the datagram or in `owned`:
// a repeat that is known already needs no copy of it. Filled in place and
// never moved, since `text` may point into `owned`.
struct CUnwrapped {
    ESapAction action = ESapAction::Drop;
    std::string reason;
    std::string origin;
    std::string owned; // decrypted or inflated bytes
    std::string_view text;

    void Drop(std::string why)
    {
        action = ESapAction::Drop;
        reason = std::move(why);
        text = {};
    }
};

// Everything after the header and the authentication data.
void UnwrapPayload(uint8_t flags, std::string_view payload, const CEncryptionGroups& groups, CUnwrapped& out)
{
    if (flags & sap::kFlagEncrypted) {
        if (payload.size() < 5 || (static_cast<uint8_t>(payload[4]) & 0xE0) != 0x20)
            return out.Drop("bad encryption header");
        const int type = static_cast<uint8_t>(payload[4]) & 0x0F;
        if (type == 2 || type == 3) {
            payload = payload.substr(4);
        } else if (type == 0) {
            if (payload.size() < 12)
                return out.Drop("encrypted payload shorter than its header");
            std::string reason;
            auto plain = Decrypt(payload, groups, reason);
            if (!plain)
                return out.Drop(reason);
            out.owned = std::move(*plain);
            payload = out.owned;
        } else {
            return out.Drop("unknown encryption type " + std::to_string(type));
        }
    }

    if (flags & sap::kFlagCompressed) {
        if ((flags & 0xE0) == 0) {
            flags &= static_cast<uint8_t>(~sap::kFlagCompressed); // SAPv0 had no compression
        } else {
            std::string reason;
            std::optional<std::string> plain;
            if (payload.size() >= 2 && static_cast<uint8_t>(payload[0]) == 0x1F && static_cast<uint8_t>(payload[1]) == 0x8B)
                plain = Gunzip(payload, reason);
            else
                plain = InflateSapPayload(payload, 15, &reason);
            if (!plain)
                return out.Drop(reason);
            out.owned = std::move(*plain);
            payload = out.owned;
        }
    }

    // An optional payload type ("application/sdp" and a NUL) before the text.
    size_t nul = payload.find('\0');
    if (nul != std::string_view::npos) {
        const size_t v = payload.find("v=");
        if ((v == std::string_view::npos || nul < v) && IsMimeType(payload.substr(0, nul))) {
            if (!text::EqualsNoCase(payload.substr(0, nul), "application/sdp"))
                return out.Drop("payload type is not application/sdp");
            payload = payload.substr(nul + 1);
            nul = payload.find('\0');
        }
    }

    out.action = (flags & sap::kMessageTypeMask) ? ESapAction::Delete : ESapAction::Announce;
    out.text = payload.substr(0, nul);
}

void Unwrap(std::string_view d, const CEncryptionGroups& groups, CUnwrapped& out)
{
    if (d.size() > sap::kMaxDatagram)
        return out.Drop("datagram longer than 5000 bytes");
    if (d.size() < sap::kHeaderSize)
        return out.Drop("shorter than the SAP header");
    const uint8_t flags = static_cast<uint8_t>(d[0]);
    // The address-type bit makes the originating source 16 bytes long.
    const size_t header = (flags & sap::kFlagAddressType) ? sap::kHeaderSizeIpv6 : sap::kHeaderSize;
    if (d.size() < header)
        return out.Drop("shorter than the SAP header");
    const size_t auth = 4 * size_t(static_cast<uint8_t>(d[1]));
    if (auth > d.size() - header)
        out.Drop("authentication data past the end");
    else
        UnwrapPayload(flags, d.substr(header + auth), groups, out);
    out.origin = AddressText(d.substr(4, header - 4));
}

} // namespace

CSapPayload UnwrapSapDatagram(std::string_view d, const CEncryptionGroups& groups)
{
    CUnwrapped unwrapped;
    Unwrap(d, groups, unwrapped);
    CSapPayload out;
    out.action = unwrapped.action;
    out.reason = std::move(unwrapped.reason);
    out.origin = std::move(unwrapped.origin);
    out.text.assign(unwrapped.text);
    return out;
}

std::string sap::SourceText(std::string_view origin, std::string_view senderBytes)
{
    if (senderBytes.size() != 4 && senderBytes.size() != 16)
        return std::string(origin);
    std::string sender = AddressText(senderBytes);
    return sender == origin ? sender : std::string(origin) + " from " + sender;
}

CSapMessage DecodeSapDatagram(std::string_view datagram, const CEncryptionGroups& groups, const CSdpEnvironment& env,
                              const CKnownRepeat& isKnownRepeat, std::string_view sender)
{
    CUnwrapped payload;
    Unwrap(datagram, groups, payload);
    CSapMessage msg;
    msg.action = payload.action;
    msg.reason = std::move(payload.reason);
    msg.origin = std::move(payload.origin);
    if (payload.action == ESapAction::Drop)
        return msg;
    const uint64_t hash = sap::TextHash(payload.text);
    const std::string source = sap::SourceText(msg.origin, sender);
    if (payload.action == ESapAction::Announce && isKnownRepeat && isKnownRepeat(payload.text, hash, source))
        return msg;
    // A known repeat was checked when it was first heard.
    if (!sap::IsSessionDescription(payload.text)) {
        msg.action = ESapAction::Drop;
        msg.reason = "no session description (v=0 and o= lines)";
        return msg;
    }
    msg.record = CSDPObject::FromText(payload.text, env);
    msg.record->sourceHash = hash;
    msg.record->announcedFrom = sap::OriginKey(source);
    return msg;
}

namespace {

// Odd constants with bytes spread over the whole range. The ones text blocks
// are XORed with each hold a zero byte, so eight bytes of a SAP text (which
// holds no NUL) never equal one: the XOR is never 0, which would wipe the
// state it is multiplied with.
constexpr uint64_t kBlockKey[2] = {0xD6E8FEB86600A6C3ull, 0xA0761D6400B8F2CBull};
constexpr uint64_t kLaneSeed[2] = {0x9E3779B97F4A7C15ull, 0xE7037ED1A00B428Dull};

using hashmix::FoldMultiply;
using hashmix::Load64;

} // namespace

// A repeat is hashed on every datagram, so this takes 16 bytes per multiply
// in two independent lanes; short texts are read in overlapping pieces.
uint64_t sap::TextHash(std::string_view text)
{
    const unsigned char* p = Bytes(text);
    const size_t n = text.size();
    uint64_t state = kLaneSeed[0] ^ n;
    uint64_t a = 0;
    uint64_t b = 0;
    if (n <= 16) {
        const hashmix::CWords words = hashmix::ReadUpTo16(p, n);
        a = words.a;
        b = words.b;
    } else {
        uint64_t lane = kLaneSeed[1] ^ n;
        size_t left = n;
        for (; left > 32; left -= 32, p += 32) {
            state = FoldMultiply(Load64(p) ^ kBlockKey[0], Load64(p + 8) ^ state);
            lane = FoldMultiply(Load64(p + 16) ^ kBlockKey[1], Load64(p + 24) ^ lane);
        }
        state ^= lane;
        if (left > 16)
            state = FoldMultiply(Load64(p) ^ kBlockKey[0], Load64(p + 8) ^ state);
        // The last 16 bytes, overlapping bytes already taken when short.
        a = Load64(p + left - 16);
        b = Load64(p + left - 8);
    }
    const uint64_t h = FoldMultiply(FoldMultiply(a ^ kBlockKey[0], b ^ state) ^ kBlockKey[1], n ^ kLaneSeed[1]);
    return h ? h : 1;
}

namespace {

// The first byte below '!' (a blank, a line end or another control byte) at
// or after p, or end. Eight bytes at a time: the lowest byte the subtraction
// flags is exact (a borrow only ever wrongly flags bytes above a true one).
[[gnu::always_inline]] inline const char* FirstBlankOrControl(const char* p, const char* end)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kOnes = 0x0101010101010101ull;
        constexpr uint64_t kHighBits = 0x8080808080808080ull;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (const uint64_t below = (word - kOnes * '!') & ~word & kHighBits)
                return p + std::countr_zero(below) / 8;
        }
    }
    while (p != end && static_cast<unsigned char>(*p) >= '!')
        ++p;
    return p;
}

// The end of an "o=" field: a blank or a line end.
[[gnu::always_inline]] inline const char* OriginFieldEnd(const char* p, const char* end)
{
    for (;; ++p) {
        p = FirstBlankOrControl(p, end);
        if (p == end || *p == ' ' || *p == '\r' || *p == '\n')
            return p;
    }
}

} // namespace

uint64_t sap::OriginKey(uint32_t sourceNetworkOrder)
{
    char bytes[4];
    std::memcpy(bytes, &sourceNetworkOrder, sizeof bytes);
    return OriginKey(AddressText(std::string_view(bytes, sizeof bytes)));
}

uint64_t sap::OriginKey(const text::CIpv6Address& source)
{
    return OriginKey(AddressText(std::string_view(reinterpret_cast<const char*>(source.data()), source.size())));
}

bool sap::IsSessionDescription(std::string_view text)
{
    // The parser reads from the first "v=" on, wherever it stands.
    const size_t v = text.find("v=");
    if (v == std::string_view::npos)
        return false;
    const size_t nl = text.find('\n', v);
    std::string_view version = text.substr(v + 2, nl == std::string_view::npos ? nl : nl - v - 2);
    if (version.ends_with('\r'))
        version.remove_suffix(1);
    return version == "0" && !OriginSessionIdOf(text).empty();
}

std::string_view sap::OriginSessionIdOf(std::string_view text)
{
    if (text.size() < 2)
        return {};
    const char* p = text.data();
    const char* const end = p + text.size();
    // The first "v=" (nearly always the first bytes), then the first "\no="
    // from there, which nearly always follows the short "v=" line.
    if (p[0] != 'v' || p[1] != '=') {
        for (++p;; ++p) {
            p = static_cast<const char*>(std::memchr(p, 'v', static_cast<size_t>(end - p)));
            if (!p || end - p < 2)
                return {};
            if (p[1] == '=')
                break;
        }
    }
    for (;; ++p) {
        p = FirstBlankOrControl(p, end);
        if (end - p < 3)
            return {};
        if (p[0] == '\n' && p[1] == 'o' && p[2] == '=')
            break;
    }
    // "o=<user> <id> ..."
    p = OriginFieldEnd(p + 3, end);
    if (p == end || *p != ' ')
        return {};
    const char* const id = p + 1;
    return {id, static_cast<size_t>(OriginFieldEnd(id, end) - id)};
}
