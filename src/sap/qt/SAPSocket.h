#pragma once
#include <QHostAddress>
#include <QNetworkInterface>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>

#include "sap/SapCodec.h"

class CEncryptionGroups;

// The UDP socket of one directory: joined to the directory's SAP group (and
// to a second group whose announcements belong to the same directory), used
// to receive its announcements and to send the user's own.
class CSAPSocket : public QObject, public CDirectoryReceiver {
    Q_OBJECT
public:
    struct CConfig {
        QHostAddress group;         // joined; the user's announcements go here
        QHostAddress secondGroup;   // also joined when set; never sent to
        quint16 port = 9875;
        int ttl = 127;
        QString interfaceAddress;   // empty: any address / default interface
        QString interfaceName;      // IPv6 groups: the interface to join and send on
    };
    // Called with every datagram that was not dropped (and with the drops,
    // for diagnostics, when a raw listener wants them).
    using Handler = std::function<void(const CSapMessage& message, const QByteArray& datagram)>;

    CSAPSocket(const CEncryptionGroups& groups, const CSdpEnvironment& env, QObject* parent = nullptr);
    ~CSAPSocket() override;

    // Address reuse, bind, loopback on, TTL, join, remember the setup.
    // False when the bind failed: the socket is then closed but kept.
    bool OpenSAPSocket(const CConfig& config, std::weak_ptr<CSDPObject> directory);
    void Close();

    void SetHandler(Handler handler) { m_handler = std::move(handler); }
    // Asked before an announcement is parsed; see DecodeSapDatagram.
    void SetKnownRepeat(CKnownRepeat known) { m_knownRepeat = std::move(known); }
    // The receive buffer the kernel granted, in bytes (0 when unknown).
    int ReceiveBufferSize();
    bool IsOpen() const { return m_socket.state() == QAbstractSocket::BoundState; }
    quint16 Port() const { return m_config.port; }
    const QHostAddress& Group() const { return m_config.group; }
    std::shared_ptr<CSDPObject> Directory() const { return m_directory.lock(); }
    QString LastError() const { return m_lastError; }

    // The address this host sends from toward the group (through the
    // configured interface); null when no route leads there.
    QHostAddress SendingAddress() const;
    // The interface this host uses for IPv6 SAP: the one holding the
    // configured address when it has an IPv6 address, else the first
    // multicast interface that is up and has one; invalid when none has.
    static QNetworkInterface Ipv6Interface(const QString& interfaceAddress);
    // Sends one datagram to the group with the given multicast TTL (hop limit).
    bool SendDatagram(const QByteArray& datagram, int ttl);
    // How long one read may go on reading.
    static constexpr qint64 kReadBudgetNs = 4'000'000;
    // How long a notification waits before the read: datagrams arriving
    // meanwhile are read together, one wake-up of the program for many.
    // At 20,000 datagrams/s that is 40 of them, well inside the smallest
    // receive buffer an unprivileged process gets.
    static constexpr int kReadDelayMs = 2;

private slots:
    void OnReadyRead();
    void OnReceive();

private:
    // Reads, decodes and hands over one datagram; false when none was read.
    bool ReadOne();

    QUdpSocket m_socket;
    QTimer m_readTimer;
    const CEncryptionGroups& m_groups;
    const CSdpEnvironment& m_env;
    // One second of traffic at 10,000 datagrams/s of up to 1 KB (the kernel
    // doubles the figure for its own bookkeeping).
    static constexpr int kWantedReceiveBuffer = 10000 * 1024;
    void EnlargeReceiveBuffer();
    QHostAddress SendingAddress6() const;

    CConfig m_config;
    CKnownRepeat m_knownRepeat;
    std::weak_ptr<CSDPObject> m_directory;
    QString m_lastError;
    Handler m_handler;
};
