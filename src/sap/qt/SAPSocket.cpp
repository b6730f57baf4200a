#include "sap/qt/SAPSocket.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QVariant>

#include <cstring>
#ifdef Q_OS_LINUX
#include <cerrno>
#endif
#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
QNetworkInterface InterfaceWithAddress(const QString& address)
{
    const QHostAddress wanted(address);
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& entry : iface.addressEntries())
            if (entry.ip() == wanted)
                return iface;
    return {};
}
} // namespace

CSAPSocket::CSAPSocket(const CEncryptionGroups& groups, const CSdpEnvironment& env, QObject* parent)
    : QObject(parent), m_groups(groups), m_env(env)
{
    m_readTimer.setSingleShot(true);
    m_readTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_readTimer, &QTimer::timeout, this, &CSAPSocket::OnReceive);
    connect(&m_socket, &QUdpSocket::readyRead, this, &CSAPSocket::OnReadyRead);
}

CSAPSocket::~CSAPSocket() = default;

bool CSAPSocket::OpenSAPSocket(const CConfig& config, std::weak_ptr<CSDPObject> directory)
{
#ifdef Q_OS_WIN
    const QHostAddress bindAddress = config.interfaceAddress.isEmpty()
        ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(config.interfaceAddress);
#else
    // A socket bound to a unicast address never sees datagrams sent to a
    // group on Linux and the BSDs; the interface is chosen by the join and
    // for sending instead.
    const QHostAddress bindAddress(QHostAddress::AnyIPv4);
#endif
    const bool ipv6 = config.group.protocol() == QAbstractSocket::IPv6Protocol;
    // An IPv6 group gets a socket of its own family (IPv6 only).
    bool ok = m_socket.bind(ipv6 ? QHostAddress(QHostAddress::AnyIPv6) : bindAddress, config.port,
                            QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    if (!ok) {
        m_lastError = m_socket.errorString();
        m_socket.close();
    } else {
#ifdef Q_OS_LINUX
        // Linux gives a socket bound to the any-address the datagrams of every
        // group any socket of the host joined on that port: without this, a
        // directory would hear the announcements and deletions of the others.
        const int off = 0;
        if (::setsockopt(static_cast<int>(m_socket.socketDescriptor()), ipv6 ? IPPROTO_IPV6 : IPPROTO_IP,
                         ipv6 ? IPV6_MULTICAST_ALL : IP_MULTICAST_ALL, &off, sizeof off) != 0)
            m_lastError = QString::fromLocal8Bit(std::strerror(errno));
#endif
        EnlargeReceiveBuffer();
        // Loopback acts on what this socket sends: on, a player or another
        // directory on this host hears our announcements. The store knows
        // our own datagrams when they come back.
        m_socket.setSocketOption(QAbstractSocket::MulticastLoopbackOption, QVariant(1));
        m_socket.setSocketOption(QAbstractSocket::MulticastTtlOption, QVariant(config.ttl));
        const QNetworkInterface iface = ipv6 ? QNetworkInterface::interfaceFromName(config.interfaceName)
            : config.interfaceAddress.isEmpty() ? QNetworkInterface() : InterfaceWithAddress(config.interfaceAddress);
        if (iface.isValid())
            m_socket.setMulticastInterface(iface);
        // Memberships are the socket's own, so the second group reaches this
        // socket alone even with IP_MULTICAST_ALL off.
        for (const QHostAddress& group : {config.group, config.secondGroup}) {
            if (group.isNull())
                continue;
            const bool joined = iface.isValid() ? m_socket.joinMulticastGroup(group, iface)
                                                : m_socket.joinMulticastGroup(group);
            if (!joined)
                m_lastError = m_socket.errorString();
        }
    }
    m_config = config;
    m_directory = std::move(directory);
    return ok;
}

void CSAPSocket::EnlargeReceiveBuffer()
{
    // Announcements arrive in bursts (a directory re-sending all it holds):
    // a small buffer loses them while the walk runs. Past the system's cap
    // only a privileged process may go; elsewhere the cap is what we get.
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(m_socket.socketDescriptor());
    const int wanted = kWantedReceiveBuffer;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) == 0)
        return;
#endif
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(kWantedReceiveBuffer));
}

int CSAPSocket::ReceiveBufferSize()
{
    return m_socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

void CSAPSocket::Close()
{
    m_socket.close();
}

QNetworkInterface CSAPSocket::Ipv6Interface(const QString& interfaceAddress)
{
    auto hasIpv6 = [](const QNetworkInterface& iface) {
        for (const QNetworkAddressEntry& entry : iface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv6Protocol)
                return true;
        return false;
    };
    if (!interfaceAddress.isEmpty()) {
        const QNetworkInterface chosen = InterfaceWithAddress(interfaceAddress);
        return chosen.isValid() && hasIpv6(chosen) ? chosen : QNetworkInterface();
    }
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanMulticast;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces())
        if ((iface.flags() & wanted) == wanted && !(iface.flags() & QNetworkInterface::IsLoopBack) && hasIpv6(iface))
            return iface;
    return {};
}

QHostAddress CSAPSocket::SendingAddress() const
{
    QHostAddress address;
#ifdef Q_OS_UNIX
    // A socket connected to the group takes the source address the kernel
    // would send from; connecting a datagram socket sends nothing.
    if (m_config.group.protocol() == QAbstractSocket::IPv6Protocol)
        return SendingAddress6();
    if (m_config.group.protocol() != QAbstractSocket::IPv4Protocol)
        return address;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return address;
    const QHostAddress iface(m_config.interfaceAddress);
    if (iface.protocol() == QAbstractSocket::IPv4Protocol) {
        in_addr via{};
        via.s_addr = htonl(iface.toIPv4Address());
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_config.port);
    to.sin_addr.s_addr = htonl(m_config.group.toIPv4Address());
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 && local.sin_addr.s_addr != 0)
        address = QHostAddress(ntohl(local.sin_addr.s_addr));
    ::close(fd);
#endif
    return address;
}

QHostAddress CSAPSocket::SendingAddress6() const
{
    QHostAddress address;
#ifdef Q_OS_UNIX
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return address;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(m_config.interfaceName);
    const unsigned index = iface.isValid() ? static_cast<unsigned>(iface.index()) : 0;
    if (index != 0)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(m_config.port);
    to.sin6_scope_id = index;
    const Q_IPV6ADDR group = m_config.group.toIPv6Address();
    std::memcpy(&to.sin6_addr, &group, sizeof to.sin6_addr);
    sockaddr_in6 local{};
    socklen_t length = sizeof local;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        address = QHostAddress(reinterpret_cast<const quint8*>(&local.sin6_addr));
    ::close(fd);
#endif
    return address;
}

bool CSAPSocket::SendDatagram(const QByteArray& datagram, int ttl)
{
    m_socket.setSocketOption(QAbstractSocket::MulticastTtlOption, QVariant(ttl));
    return m_socket.writeDatagram(datagram, m_config.group, m_config.port) == datagram.size();
}

void CSAPSocket::OnReadyRead()
{
    // Until the socket is read it sends no further notification.
    if (!m_readTimer.isActive())
        m_readTimer.start(kReadDelayMs);
}

void CSAPSocket::OnReceive()
{
    // Everything pending up to a time budget: one datagram per notification
    // costs a trip through the event loop (and a repaint of the views) per
    // announcement, and a flood then overruns the kernel's buffer. Past the
    // budget the event loop gets its turn, and the rest are read right after.
    QElapsedTimer spent;
    spent.start();
    do {
        if (!ReadOne())
            return;
    } while (spent.nsecsElapsed() < kReadBudgetNs);
    if (IsOpen() && m_socket.hasPendingDatagrams())
        m_readTimer.start(0);
}

namespace {
// A sender's address in network order, an IPv4 one (mapped or not) in four bytes.
std::string SenderBytes(const QHostAddress& from)
{
    bool v4 = false;
    const quint32 ipv4 = from.toIPv4Address(&v4);
    if (v4) {
        const char bytes[4] = {char(ipv4 >> 24), char(ipv4 >> 16), char(ipv4 >> 8), char(ipv4)};
        return std::string(bytes, 4);
    }
    if (from.protocol() != QAbstractSocket::IPv6Protocol)
        return {};
    const Q_IPV6ADDR ipv6 = from.toIPv6Address();
    return std::string(reinterpret_cast<const char*>(ipv6.c), 16);
}
} // namespace

bool CSAPSocket::ReadOne()
{
    // Closed by a handler (a deletion that removed its directory) or empty.
    if (!IsOpen() || !m_socket.hasPendingDatagrams())
        return false;
    const qint64 size = m_socket.pendingDatagramSize();
    if (size < 0)
        return false;
    QByteArray datagram(static_cast<qsizetype>(std::max<qint64>(size, 1)), '\0');
    QHostAddress from;
    const qint64 got = m_socket.readDatagram(datagram.data(), datagram.size(), &from);
    if (got < 0)
        return false;
    datagram.resize(static_cast<qsizetype>(got));
    // Longer than the receive buffer: the datagram could not be taken whole.
    CSapMessage message;
    if (size > static_cast<qint64>(sap::kMaxDatagram)) {
        message.reason = "datagram longer than 5000 bytes";
    } else {
        message = DecodeSapDatagram(std::string_view(datagram.constData(), static_cast<size_t>(datagram.size())),
                                    m_groups, m_env, m_knownRepeat, SenderBytes(from));
    }
    if (m_handler)
        m_handler(message, datagram);
    return true;
}
