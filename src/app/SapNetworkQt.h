#pragma once
#include <QString>

#include <memory>
#include <optional>

#include "base/SapNetwork.h"
#include "base/WireCounters.h"

class CEncryptionGroups;
class CSessionStore;
class QByteArray;
struct CSapMessage;
struct CSdpEnvironment;

// The store's sockets on CSAPSocket: every datagram a directory's socket
// decodes goes to the document as an announcement or a deletion.
class CQtSapNetwork final : public SapNetwork {
public:
    CQtSapNetwork(const CEncryptionGroups& groups, const CSdpEnvironment& env, QString interfaceAddress = {});
    ~CQtSapNetwork() override;

    void SetDocument(CSessionStore* doc) { m_doc = doc; }
    // Counts every datagram heard and sent from now on.
    void SetCounters(CWireCounters* counters) { m_counters = counters; }

    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket(uint32_t groupNetworkOrder, uint16_t port, int ttl,
                                                      const std::shared_ptr<CSDPObject>& directory,
                                                      uint32_t secondGroupNetworkOrder) override;
    void CloseSocket(CDirectoryReceiver& socket) override;
    bool SetMulticastTtl(CDirectoryReceiver& socket, int ttl) override;
    bool SendDatagram(CDirectoryReceiver& socket, std::string_view datagram) override;
    uint32_t OriginatingSource(CDirectoryReceiver& socket) override;
    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket6(const text::CIpv6Address& group, uint16_t port, int ttl,
                                                       const std::shared_ptr<CSDPObject>& directory) override;
    std::optional<text::CIpv6Address> OriginatingSource6(CDirectoryReceiver& socket) override;

    // Whether IPv6 SAP has an interface here (see CSAPSocket::Ipv6Interface).
    bool HasIpv6() const { return !m_ipv6Interface.isEmpty(); }
    // Turns IPv6 off whatever the interfaces say.
    void DisableIpv6() { m_ipv6Interface.clear(); }

private:
    struct CSocketSetup;
    std::shared_ptr<CDirectoryReceiver> Open(const CSocketSetup& setup, const std::shared_ptr<CSDPObject>& directory);
    void Count(const CSapMessage& message, const QByteArray& datagram);

    const CEncryptionGroups& m_groups;
    const CSdpEnvironment& m_env;
    QString m_interface;
    QString m_ipv6Interface;   // by name; empty: no IPv6
    CSessionStore* m_doc = nullptr;
    CWireCounters* m_counters = nullptr;
    // The resolver's answer, asked once.
    std::optional<uint32_t> m_resolved;
};
