#include "sap/SapAnnounce.h"

#include "sap/SapCodec.h"

#include <cstring>

size_t sap::MaxAnnouncementText(bool ipv6)
{
    return kSendBuffer - 1 - (ipv6 ? kHeaderSizeIpv6 : kHeaderSize);
}

std::optional<std::string> sap::BuildAnnouncement(std::string_view sdpText, bool deletion, uint32_t sourceNetworkOrder)
{
    if (sdpText.size() > MaxAnnouncementText(false))
        return std::nullopt;
    std::string datagram(kHeaderSize, '\0');
    datagram[0] = static_cast<char>(deletion ? kFlagDelete : kFlagAnnounce);
    // Bytes 1..3: no authentication data, message identifier hash 0.
    std::memcpy(&datagram[4], &sourceNetworkOrder, 4);
    datagram.append(sdpText);
    return datagram;
}

std::optional<std::string> sap::BuildAnnouncement(std::string_view sdpText, bool deletion,
                                                  const text::CIpv6Address& source)
{
    if (sdpText.size() > MaxAnnouncementText(true))
        return std::nullopt;
    std::string datagram(kHeaderSizeIpv6, '\0');
    datagram[0] = static_cast<char>((deletion ? kFlagDelete : kFlagAnnounce) | kFlagAddressType);
    std::memcpy(&datagram[4], source.data(), source.size());
    datagram.append(sdpText);
    return datagram;
}
