#include "clocks/PtpListener.h"

#include "base/Clock.h"
#include "clocks/PtpAnnounce.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr const char* kGroup4 = "224.0.1.129";
constexpr const char* kGroup6 = "ff0e::181";

int NewSocket(int family)
{
    const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A PTP daemon on the same host holds the port too.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    return fd;
}

// Closes `fd` and says which step failed; binding a port under 1024 is
// what an ordinary user may not do.
int Fail(int fd, const char* what, const char* group, uint16_t port, std::string& error)
{
    const int code = errno;
    close(fd);
    if (code == EACCES || code == EPERM)
        error = "port " + std::to_string(port) + " needs root or CAP_NET_BIND_SERVICE";
    else
        error = std::string(what) + " " + group + " port " + std::to_string(port) + ": " + std::strerror(code);
    return -1;
}
} // namespace

CPtpListener::CPtpListener(const CPtpListenerOptions& options, const Clock& clock)
    : m_options(options), m_clock(clock), m_started(clock.Now())
{
    std::string error4, error6;
    if (int fd = OpenIpv4(error4); fd >= 0)
        m_fds.push_back(fd);
    if (m_options.interfaceIndex6 != 0)
        if (int fd = OpenIpv6(error6); fd >= 0)
            m_fds.push_back(fd);
    if (m_fds.empty()) {
        m_problem = "clocks cannot be heard: " + error4;
        return;
    }
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

CPtpListener::~CPtpListener()
{
    m_stop = true;
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof one);
    }
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : m_fds)
        close(fd);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

int CPtpListener::OpenIpv4(std::string& error)
{
    const int fd = NewSocket(AF_INET);
    if (fd < 0)
        return Fail(fd, "socket", kGroup4, m_options.port, error);
    const int off = 0;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
    // Bound to the group, the socket takes no unicast meant for a PTP
    // daemon on the same port.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(m_options.port);
    inet_pton(AF_INET, kGroup4, &local.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return Fail(fd, "bind", kGroup4, m_options.port, error);
    ip_mreqn request{};
    request.imr_multiaddr = local.sin_addr;
    request.imr_address.s_addr = m_options.interfaceAddress;
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
        return Fail(fd, "join", kGroup4, m_options.port, error);
    return fd;
}

int CPtpListener::OpenIpv6(std::string& error)
{
    const int fd = NewSocket(AF_INET6);
    if (fd < 0)
        return Fail(fd, "socket", kGroup6, m_options.port, error);
    const int on = 1;
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
#ifdef IPV6_MULTICAST_ALL
    const int off = 0;
    setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_ALL, &off, sizeof off);
#endif
    sockaddr_in6 local{};
    local.sin6_family = AF_INET6;
    local.sin6_port = htons(m_options.port);
    local.sin6_scope_id = m_options.interfaceIndex6;
    inet_pton(AF_INET6, kGroup6, &local.sin6_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return Fail(fd, "bind", kGroup6, m_options.port, error);
    ipv6_mreq request{};
    request.ipv6mr_multiaddr = local.sin6_addr;
    request.ipv6mr_interface = m_options.interfaceIndex6;
    if (setsockopt(fd, IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, &request, sizeof request) != 0)
        return Fail(fd, "join", kGroup6, m_options.port, error);
    return fd;
}

std::vector<CHeardGrandmaster> CPtpListener::Grandmasters(int64_t now)
{
    std::lock_guard lock(m_mutex);
    m_table.Expire(now);
    return m_table.List();
}

void CPtpListener::Run()
{
    std::vector<pollfd> fds;
    for (int fd : m_fds)
        fds.push_back({fd, POLLIN, 0});
    fds.push_back({m_wakeFd, POLLIN, 0});
    while (!m_stop) {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            break;
        for (size_t i = 0; i + 1 < fds.size(); ++i)
            if (fds[i].revents & POLLIN)
                Drain(fds[i].fd);
    }
}

void CPtpListener::Drain(int fd)
{
    uint8_t buffer[2048];
    for (int k = 0; k < 256; ++k) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            return;
        ++m_datagrams;
        const auto announce = ReadPtpAnnounce(buffer, size_t(n));
        if (!announce) {
            ++m_rejected;
            continue;
        }
        char address[INET6_ADDRSTRLEN] = {};
        if (from.ss_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&from)->sin_addr, address, sizeof address);
        else if (from.ss_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&from)->sin6_addr, address, sizeof address);
        std::lock_guard lock(m_mutex);
        m_table.Heard(*announce, address, m_clock.Now());
    }
}
