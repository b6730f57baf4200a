#include "sap/SapAnnounce.h"

#include "sap/SapCodec.h"

#include <cstring>

std::optional<std::string> sap::BuildAnnouncement(std::string_view sdpText, bool deletion, uint32_t sourceNetworkOrder)
{
    if (sdpText.size() + kHeaderSize >= kSendBuffer)
        return std::nullopt;
    std::string datagram(kHeaderSize, '\0');
    datagram[0] = static_cast<char>(deletion ? kFlagDelete : kFlagAnnounce);
    // Bytes 1..3: no authentication data, message identifier hash 0.
    std::memcpy(&datagram[4], &sourceNetworkOrder, 4);
    datagram.append(sdpText);
    return datagram;
}
