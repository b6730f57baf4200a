#include "app/SapNetworkQt.h"

#include "directory/SessionStore.h"
#include "sap/qt/SAPSocket.h"

#include <QHostInfo>

#include <arpa/inet.h>
#include <cstring>

namespace {
// A directory's socket plus the TTL its next sends use.
class CDirectorySocket final : public CDirectoryReceiver {
public:
    explicit CDirectorySocket(CSAPSocket* socket) : socket(socket) {}
    ~CDirectorySocket() override
    {
        // The socket may be inside its own read notification (a deletion that
        // removed its directory): close it now, let the event loop delete it.
        socket->Close();
        socket->deleteLater();
    }
    CSAPSocket* socket;
    int ttl = 127;
};
} // namespace

struct CQtSapNetwork::CSocketSetup {
    QHostAddress group;
    QHostAddress secondGroup;
    uint16_t port = 0;
    int ttl = 0;
};

CQtSapNetwork::CQtSapNetwork(const CEncryptionGroups& groups, const CSdpEnvironment& env, QString interfaceAddress)
    : m_groups(groups), m_env(env), m_interface(std::move(interfaceAddress)),
      m_ipv6Interface(CSAPSocket::Ipv6Interface(m_interface).name())
{
}

CQtSapNetwork::~CQtSapNetwork() = default;

std::shared_ptr<CDirectoryReceiver> CQtSapNetwork::OpenSAPSocket(uint32_t groupNetworkOrder, uint16_t port, int ttl,
                                                                 const std::shared_ptr<CSDPObject>& directory,
                                                                 uint32_t secondGroupNetworkOrder)
{
    CSocketSetup setup{QHostAddress(ntohl(groupNetworkOrder)), {}, port, ttl};
    if (secondGroupNetworkOrder != 0)
        setup.secondGroup = QHostAddress(ntohl(secondGroupNetworkOrder));
    return Open(setup, directory);
}

std::shared_ptr<CDirectoryReceiver> CQtSapNetwork::OpenSAPSocket6(const text::CIpv6Address& group, uint16_t port,
                                                                  int ttl, const std::shared_ptr<CSDPObject>& directory)
{
    if (m_ipv6Interface.isEmpty())
        return nullptr;
    return Open(CSocketSetup{QHostAddress(group.data()), {}, port, ttl}, directory);
}

std::shared_ptr<CDirectoryReceiver> CQtSapNetwork::Open(const CSocketSetup& setup,
                                                        const std::shared_ptr<CSDPObject>& directory)
{
    auto socket = std::make_shared<CDirectorySocket>(new CSAPSocket(m_groups, m_env));
    socket->ttl = setup.ttl;
    std::weak_ptr<CSDPObject> weakDirectory = directory;
    socket->socket->SetHandler([this, weakDirectory](const CSapMessage& message, const QByteArray& datagram) {
        Count(message, datagram);
        // A directory that is gone hears nothing more.
        auto dir = weakDirectory.lock();
        if (dir && m_doc)
            m_doc->OnSapMessage(message.action, message.record, dir);
    });
    socket->socket->SetKnownRepeat([this, weakDirectory](std::string_view text, uint64_t hash, std::string_view origin) {
        auto dir = weakDirectory.lock();
        return dir && m_doc && m_doc->RefreshRepeat(text, hash, dir, origin);
    });
    CSAPSocket::CConfig config;
    config.group = setup.group;
    config.secondGroup = setup.secondGroup;
    config.port = setup.port;
    config.ttl = setup.ttl;
    config.interfaceAddress = m_interface;
    config.interfaceName = m_ipv6Interface;
    socket->socket->OpenSAPSocket(config, directory);
    return socket;
}

void CQtSapNetwork::CloseSocket(CDirectoryReceiver& receiver)
{
    static_cast<CDirectorySocket&>(receiver).socket->Close();
}

bool CQtSapNetwork::SetMulticastTtl(CDirectoryReceiver& receiver, int ttl)
{
    auto& s = static_cast<CDirectorySocket&>(receiver);
    if (!s.socket->IsOpen() || ttl < 0 || ttl > 255)
        return false;
    s.ttl = ttl;
    return true;
}

bool CQtSapNetwork::SendDatagram(CDirectoryReceiver& receiver, std::string_view datagram)
{
    auto& s = static_cast<CDirectorySocket&>(receiver);
    if (!s.socket->IsOpen())
        return false;
    const bool sent = s.socket->SendDatagram(QByteArray(datagram.data(), static_cast<qsizetype>(datagram.size())), s.ttl);
    if (sent && m_counters)
        WireCount(&m_counters->sent);
    return sent;
}

void CQtSapNetwork::Count(const CSapMessage& message, const QByteArray& datagram)
{
    if (!m_counters)
        return;
    WireCount(&m_counters->datagrams);
    if (message.action == ESapAction::Drop) {
        WireCount(&m_counters->dropped);
        return;
    }
    // The header's flags say what the codec had to undo to read it.
    const auto flags = static_cast<uint8_t>(datagram.isEmpty() ? 0 : datagram[0]);
    if (flags & sap::kFlagEncrypted)
        WireCount(&m_counters->decrypted);
    if (flags & sap::kFlagCompressed)
        WireCount(&m_counters->inflated);
}

uint32_t CQtSapNetwork::OriginatingSource(CDirectoryReceiver& receiver)
{
    // Asked at every send: routes and addresses change while we run.
    const QHostAddress sending = static_cast<CDirectorySocket&>(receiver).socket->SendingAddress();
    if (sending.protocol() == QAbstractSocket::IPv4Protocol)
        return htonl(sending.toIPv4Address());
    if (!m_resolved) {
        m_resolved = 0;
        const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName());
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                m_resolved = htonl(address.toIPv4Address());
                break;
            }
        }
    }
    return *m_resolved;
}

std::optional<text::CIpv6Address> CQtSapNetwork::OriginatingSource6(CDirectoryReceiver& receiver)
{
    const CSAPSocket& socket = *static_cast<CDirectorySocket&>(receiver).socket;
    if (socket.Group().protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    // No route to the group: the header still says IPv6, with the
    // unspecified address.
    text::CIpv6Address source{};
    const QHostAddress sending = socket.SendingAddress();
    if (sending.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR bytes = sending.toIPv6Address();
        std::memcpy(source.data(), &bytes, source.size());
    }
    return source;
}
