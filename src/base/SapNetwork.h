#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "base/Text.h"

class CSDPObject;
class CDirectoryReceiver;

// The SAP sockets as the store sees them: one per directory, opened when a
// directory enters the store, used for the user's own announcements.
class SapNetwork {
public:
    virtual ~SapNetwork() = default;
    // Address reuse, bind to the port (on the configured interface), loopback
    // on (players on this host hear our announcements), multicast TTL, join
    // the group. A socket whose bind failed is still
    // returned: it hears nothing and every send on it fails. A second group
    // (0: none) is joined on the same socket and heard like the first; sends
    // go to the first only.
    virtual std::shared_ptr<CDirectoryReceiver> OpenSAPSocket(uint32_t groupNetworkOrder, uint16_t port, int ttl,
                                                              const std::shared_ptr<CSDPObject>& directory,
                                                              uint32_t secondGroupNetworkOrder) = 0;
    // The same for a directory on an IPv6 group, on the interface IPv6 SAP
    // uses. Nothing where this network has no IPv6: the directory is then
    // listed without a socket.
    virtual std::shared_ptr<CDirectoryReceiver> OpenSAPSocket6(const text::CIpv6Address& /*group*/, uint16_t /*port*/,
                                                               int /*ttl*/,
                                                               const std::shared_ptr<CSDPObject>& /*directory*/)
    {
        return nullptr;
    }
    virtual void CloseSocket(CDirectoryReceiver& socket) = 0;
    // The multicast TTL of the next sends on this socket.
    virtual bool SetMulticastTtl(CDirectoryReceiver& socket, int ttl) = 0;
    // One datagram to the socket's group and port.
    virtual bool SendDatagram(CDirectoryReceiver& socket, std::string_view datagram) = 0;
    // The IPv4 address this host sends from toward the socket's group (on
    // the configured interface), else the first one the resolver gives for
    // the host's name; network byte order, 0 when there is none.
    virtual uint32_t OriginatingSource(CDirectoryReceiver& socket) = 0;
    // The IPv6 address this host sends from toward an IPv6 socket's group;
    // nothing for an IPv4 socket or when there is none.
    virtual std::optional<text::CIpv6Address> OriginatingSource6(CDirectoryReceiver& /*socket*/) { return std::nullopt; }
};
