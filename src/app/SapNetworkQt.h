#pragma once
#include <QString>

#include <memory>
#include <optional>

#include "base/SapNetwork.h"
#include "base/WireCounters.h"

class CEncryptionGroups;
class COstara32Doc;
class QByteArray;
struct CSapMessage;
struct CSdpEnvironment;

// The store's sockets on CSAPSocket: every datagram a directory's socket
// decodes goes to the document as an announcement or a deletion.
class CQtSapNetwork final : public SapNetwork {
public:
    CQtSapNetwork(const CEncryptionGroups& groups, const CSdpEnvironment& env, QString interfaceAddress = {});
    ~CQtSapNetwork() override;

    void SetDocument(COstara32Doc* doc) { m_doc = doc; }
    // Counts every datagram heard and sent from now on.
    void SetCounters(CWireCounters* counters) { m_counters = counters; }

    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket(uint32_t groupNetworkOrder, uint16_t port, int ttl,
                                                      const std::shared_ptr<CSDPObject>& directory,
                                                      uint32_t secondGroupNetworkOrder) override;
    void CloseSocket(CDirectoryReceiver& socket) override;
    bool SetMulticastTtl(CDirectoryReceiver& socket, int ttl) override;
    bool SendDatagram(CDirectoryReceiver& socket, std::string_view datagram) override;
    uint32_t OriginatingSource(CDirectoryReceiver& socket) override;

private:
    void Count(const CSapMessage& message, const QByteArray& datagram);

    const CEncryptionGroups& m_groups;
    const CSdpEnvironment& m_env;
    QString m_interface;
    COstara32Doc* m_doc = nullptr;
    CWireCounters* m_counters = nullptr;
    // The resolver's answer, asked once.
    std::optional<uint32_t> m_resolved;
};
