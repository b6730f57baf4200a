#pragma once
#include "base/SapNetwork.h"
#include "sdp/SDPObject.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Records every socket the store opens and every datagram it sends.
class CFakeSapNetwork final : public SapNetwork {
public:
    struct Socket final : CDirectoryReceiver {
        uint32_t group = 0;
        std::optional<text::CIpv6Address> group6;
        uint32_t secondGroup = 0;
        uint16_t port = 0;
        int openTtl = 0;
        int ttl = 0;
        bool open = true;
        std::weak_ptr<CSDPObject> directory;
    };
    struct Sent {
        uint32_t group;
        uint16_t port;
        int ttl;
        std::string datagram;
        uint8_t Flags() const { return static_cast<uint8_t>(datagram.at(0)); }
        std::string Payload() const { return datagram.substr(Flags() & 0x10 ? 20 : 8); }
    };

    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket(uint32_t group, uint16_t port, int ttl,
                                                      const std::shared_ptr<CSDPObject>& directory,
                                                      uint32_t secondGroup) override
    {
        auto s = std::make_shared<Socket>();
        s->group = group;
        s->secondGroup = secondGroup;
        s->port = port;
        s->openTtl = s->ttl = ttl;
        s->open = !bindFails;
        s->directory = directory;
        sockets.push_back(s);
        return s;
    }
    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket6(const text::CIpv6Address& group, uint16_t port, int ttl,
                                                       const std::shared_ptr<CSDPObject>& directory) override
    {
        if (!hasIpv6)
            return nullptr;
        auto s = std::static_pointer_cast<Socket>(OpenSAPSocket(0, port, ttl, directory, 0));
        s->group6 = group;
        return s;
    }
    std::optional<text::CIpv6Address> OriginatingSource6(CDirectoryReceiver& socket) override
    {
        return static_cast<Socket&>(socket).group6 ? std::optional(source6) : std::nullopt;
    }
    void CloseSocket(CDirectoryReceiver& socket) override { static_cast<Socket&>(socket).open = false; }
    bool SetMulticastTtl(CDirectoryReceiver& socket, int ttl) override
    {
        auto& s = static_cast<Socket&>(socket);
        if (refuseTtl || !s.open)
            return false;
        s.ttl = ttl;
        return true;
    }
    bool SendDatagram(CDirectoryReceiver& socket, std::string_view datagram) override
    {
        auto& s = static_cast<Socket&>(socket);
        if (failSend || !s.open)
            return false;
        sent.push_back({s.group, s.port, s.ttl, std::string(datagram)});
        return true;
    }
    uint32_t OriginatingSource(CDirectoryReceiver&) override { return source; }

    size_t OpenCount() const
    {
        return std::count_if(sockets.begin(), sockets.end(), [](const auto& s) { return s->open; });
    }
    // The socket opened for a directory, or null.
    std::shared_ptr<Socket> SocketOf(const CSDPObject& directory) const
    {
        for (const auto& s : sockets)
            if (s->directory.lock().get() == &directory)
                return s;
        return nullptr;
    }

    std::vector<std::shared_ptr<Socket>> sockets;
    std::vector<Sent> sent;
    bool refuseTtl = false;
    bool failSend = false;
    bool bindFails = false;
    uint32_t source = 0x0100000A; // 10.0.0.1 in network byte order
    bool hasIpv6 = true;
    text::CIpv6Address source6 = *text::ParseIpv6("2001:db8::10");
};
