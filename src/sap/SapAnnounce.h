#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Building the user's own announcements: an 8-byte SAP header (version 1,
// no authentication, hash 0, no encryption or compression) and the SDP text.
namespace sap {
// Header plus text must stay below the 2048-byte send buffer.
constexpr size_t kSendBuffer = 2048;

// Nothing when the text is too long to be sent (2040 bytes or more).
std::optional<std::string> BuildAnnouncement(std::string_view sdpText, bool deletion, uint32_t sourceNetworkOrder);
} // namespace sap
