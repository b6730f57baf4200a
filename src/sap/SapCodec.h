#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sdp/SDPObject.h"

class CEncryptionGroups;

// The SAP datagram layout shared by reception and announcing.
namespace sap {
constexpr size_t kHeaderSize = 8;           // with an IPv4 originating source
constexpr size_t kHeaderSizeIpv6 = 20;      // with an IPv6 one
constexpr size_t kMaxDatagram = 5000;       // the receive buffer
constexpr size_t kInflateStart = 2048;      // first output buffer
constexpr size_t kInflateLimit = 20480;     // a buffer may not grow past this
constexpr size_t kMaxInflated = 16384;      // so the largest accepted output
constexpr uint8_t kFlagAnnounce = 0x20;
constexpr uint8_t kFlagDelete = 0x24;
constexpr uint8_t kFlagEncrypted = 0x02;
constexpr uint8_t kFlagCompressed = 0x01;
constexpr uint8_t kFlagAddressType = 0x10;  // set: the originating source is IPv6
// The message-type bit and the reserved bit beside it: either makes a
// deletion. The address-type bit says nothing about the message.
constexpr uint8_t kMessageTypeMask = 0x0C;
} // namespace sap

enum class ESapAction { Announce, Delete, Drop };

const char* SapActionName(ESapAction action);

struct CSapPayload {
    ESapAction action = ESapAction::Drop;
    std::string reason;   // why a datagram was dropped; diagnostics only
    std::string origin;   // the originating source as text, once the header was read
    std::string text;     // the SDP text (up to its first NUL) for Announce/Delete
};

// Authentication skip, decryption, inflation and the payload-type skip.
CSapPayload UnwrapSapDatagram(std::string_view datagram, const CEncryptionGroups& groups);

struct CSapMessage {
    ESapAction action = ESapAction::Drop;
    std::string reason;
    std::string origin;                 // IPv4 or IPv6 text; empty when the header was short
    std::shared_ptr<CSDPObject> record; // set for Announce and Delete
};

// Unwrap and parse: what a directory socket does with every datagram. The
// record carries the hash of its text (sap::TextHash). `isKnownRepeat`,
// when given, sees an announcement's text and hash first: when it says the
// text is a known repeat, nothing is parsed and the message has no record.
// A text that is no session description (no "v=0" line, no "o=" line with
// a session id) is dropped. `origin` is the source the record is known by
// (sap::SourceText). `sender` is the address the datagram came from, 4 or
// 16 bytes in network order (empty: not known).
using CKnownRepeat = std::function<bool(std::string_view text, uint64_t hash, std::string_view origin)>;
CSapMessage DecodeSapDatagram(std::string_view datagram, const CEncryptionGroups& groups,
                              const CSdpEnvironment& env, const CKnownRepeat& isKnownRepeat = {},
                              std::string_view sender = {});

namespace sap {
// A hash of an announcement's SDP text, never 0.
uint64_t TextHash(std::string_view text);
// The source a datagram is known by: its header's originating source, and
// the address it came from when that is another. A header copied from
// someone else's announcement thus does not pass for theirs.
std::string SourceText(std::string_view origin, std::string_view senderBytes);
// The key the store keeps of a source (its text as SourceText gives it),
// never 0.
inline uint64_t OriginKey(std::string_view originText) { return TextHash(originText); }
// The same for an IPv4 source we send with, written as reception writes it.
uint64_t OriginKey(uint32_t sourceNetworkOrder);
uint64_t OriginKey(const text::CIpv6Address& source);
// Whether a text describes a session at all: its first "v=" line says 0
// and an "o=" line with a session id follows.
bool IsSessionDescription(std::string_view text);
// The origin session id (second field of the first "o=" line after the
// first "v="), read without parsing; empty when there is none.
std::string_view OriginSessionIdOf(std::string_view text);
} // namespace sap

// Inflates a zlib stream (windowBits 15) or raw deflate data (-15) with the
// growth rule of reception; nothing on any failure or when the output would
// pass kMaxInflated.
std::optional<std::string> InflateSapPayload(std::string_view input, int windowBits, std::string* reason = nullptr);
