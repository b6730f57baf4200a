#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Text.h"

// Building the user's own announcements: an 8-byte SAP header (20 from IPv6) (version 1,
// no authentication, hash 0, no encryption or compression) and the SDP text.
namespace sap {
// Header plus text must stay below the 2048-byte send buffer.
constexpr size_t kSendBuffer = 2048;

// The longest SDP text one announcement carries: 2039 bytes from an IPv4
// source, 2027 from an IPv6 one.
size_t MaxAnnouncementText(bool ipv6);
// Nothing when the text is too long to be sent (longer than the above).
std::optional<std::string> BuildAnnouncement(std::string_view sdpText, bool deletion, uint32_t sourceNetworkOrder);
// The same from an IPv6 source: the address-type bit set and a 20-byte header.
std::optional<std::string> BuildAnnouncement(std::string_view sdpText, bool deletion, const text::CIpv6Address& source);
} // namespace sap
