#include "reception/Receiver.h"

#include "reception/MediaStatistics.h"

#include "base/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <ctime>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kDatagramRoom = 65536; // the largest UDP datagram fits
constexpr int kMaxBatchesPerRead = 16; // then the other sockets get their turn

int64_t ClockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool IsMulticast(uint32_t networkOrder) { return (ntohl(networkOrder) >> 28) == 0xE; }

// One socket: a destination, the sources it admits, and who reads from it.
struct CSocketKey {
    uint32_t address = 0;
    uint16_t port = 0;
    std::vector<uint32_t> sources;
    bool ipv6 = false;
    text::CIpv6Address address6{};
    std::vector<text::CIpv6Address> sources6;
    auto operator<=>(const CSocketKey&) const = default;

    bool Multicast() const { return ipv6 ? address6[0] == 0xFF : IsMulticast(address); }
};

// Link- and interface-local addresses mean something only together with an
// interface: binding to them needs its index.
bool NeedsScope(const text::CIpv6Address& a)
{
    if (a[0] == 0xFF)
        return (a[1] & 0x0F) == 1 || (a[1] & 0x0F) == 2;
    return a[0] == 0xFE && (a[1] & 0xC0) == 0x80;
}

sockaddr_in6 Ipv6SocketAddress(const text::CIpv6Address& address, uint16_t port, uint32_t scope)
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    std::memcpy(&a.sin6_addr, address.data(), address.size());
    a.sin6_scope_id = NeedsScope(address) ? scope : 0;
    return a;
}

// Where a datagram came from, in either family.
union CPeerName {
    sockaddr_in v4;
    sockaddr_in6 v6;
};

struct CConsumer {
    int watchId;
    size_t mediaIndex;
};

struct CSocket {
    int fd = -1;
    int bufferBytes = 0; // what the kernel granted
    bool multicast = false;
    std::vector<CConsumer> consumers;
    uint64_t drops = 0;
};

struct CWatchState {
    int id = 0;
    CReceptionPlan plan;
    std::unique_ptr<CSessionStatistics> stats;
    std::vector<CSocket*> socketOf;  // per media entry; null while it has none
    std::vector<std::string> notes;  // why a media entry has no socket
    int64_t nextReport = 0;
};

} // namespace

// Everything the worker thread owns; nothing in it is touched by another thread.
class CReceiver::CWorker {
public:
    CWorker(const CReceiverOptions& options, std::atomic<size_t>& joined)
        : m_options(options), m_joined(joined), m_buffers(options.batch * kDatagramRoom), m_messages(options.batch),
          m_vectors(options.batch), m_names(options.batch), m_controls(options.batch * kControlRoom)
    {
    }
    ~CWorker()
    {
        for (auto& [key, socket] : m_sockets)
            close(socket->fd);
    }

    void Add(int id, const CReceptionPlan& plan, int64_t now)
    {
        auto watch = std::make_unique<CWatchState>();
        watch->id = id;
        watch->plan = plan;
        watch->stats = std::make_unique<CSessionStatistics>(plan, now);
        watch->socketOf.assign(plan.media.size(), nullptr);
        watch->notes.assign(plan.media.size(), std::string());
        watch->nextReport = now + m_options.reportIntervalNs;
        m_watches[id] = std::move(watch);
        OpenMissing();
    }

    void Remove(int id)
    {
        auto it = m_watches.find(id);
        if (it == m_watches.end())
            return;
        for (auto s = m_sockets.begin(); s != m_sockets.end();) {
            auto& consumers = s->second->consumers;
            std::erase_if(consumers, [id](const CConsumer& c) { return c.watchId == id; });
            if (consumers.empty()) {
                // Closing the socket leaves its group.
                close(s->second->fd);
                if (s->second->multicast)
                    --m_joined;
                s = m_sockets.erase(s);
            } else {
                ++s;
            }
        }
        m_watches.erase(it);
        OpenMissing();
    }

    // Gives a socket to every media entry that has none and can have one.
    void OpenMissing()
    {
        for (auto& [id, watch] : m_watches) {
            for (size_t i = 0; i < watch->plan.media.size(); ++i) {
                if (watch->socketOf[i])
                    continue;
                const CMediaTarget& target = watch->plan.media[i];
                if (!target.unusable.empty()) {
                    watch->notes[i] = target.unusable;
                    continue;
                }
                CSocketKey key;
                key.port = target.port;
                if (target.ipv6) {
                    key.ipv6 = true;
                    key.address6 = target.group6;
                    key.sources6 = target.sources6;
                    std::sort(key.sources6.begin(), key.sources6.end());
                } else {
                    key.address = target.group;
                    key.sources = target.sources;
                    std::sort(key.sources.begin(), key.sources.end());
                }
                auto found = m_sockets.find(key);
                if (found == m_sockets.end()) {
                    if (key.Multicast() && m_joined.load() >= m_options.maxGroups) {
                        watch->notes[i] = "limit of " + std::to_string(m_options.maxGroups) + " groups reached";
                        continue;
                    }
                    std::string error;
                    auto socket = Open(key, error);
                    if (!socket) {
                        watch->notes[i] = error;
                        continue;
                    }
                    found = m_sockets.emplace(key, std::move(socket)).first;
                }
                found->second->consumers.push_back({id, i});
                watch->socketOf[i] = found->second.get();
                watch->notes[i].clear();
            }
        }
    }

    // The sockets to wait on.
    void PollList(std::vector<pollfd>& fds, std::vector<CSocket*>& sockets) const
    {
        for (const auto& [key, socket] : m_sockets) {
            fds.push_back({socket->fd, POLLIN, 0});
            sockets.push_back(socket.get());
        }
    }

    // Reads what is waiting; returns the number of bytes.
    size_t Drain(CSocket& socket)
    {
        size_t total = 0;
        for (int round = 0; round < kMaxBatchesPerRead; ++round) {
            PrepareMessages();
            // MSG_TRUNC: each length is the datagram's own, even were it cut.
            const int n = recvmmsg(socket.fd, m_messages.data(), m_options.batch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
            if (n <= 0)
                break;
            const int64_t monotonic = ClockNs(CLOCK_MONOTONIC);
            const int64_t wall = ClockNs(CLOCK_REALTIME);
            for (int k = 0; k < n; ++k) {
                Deliver(socket, size_t(k), monotonic, wall);
                total += m_messages[size_t(k)].msg_len;
            }
            if (unsigned(n) < m_options.batch)
                break;
        }
        return total;
    }

    // Reports every watch whose second is up; returns the next report time.
    int64_t ReportDue(int64_t now, const Report& report)
    {
        int64_t next = now + m_options.reportIntervalNs;
        for (auto& [id, watch] : m_watches) {
            if (now >= watch->nextReport) {
                for (size_t i = 0; i < watch->socketOf.size(); ++i)
                    if (watch->socketOf[i])
                        watch->stats->Media(i).SetKernelDrops(watch->socketOf[i]->drops);
                CSessionFigures figures = watch->stats->Figures(now);
                figures.watchId = id;
                for (size_t i = 0; i < figures.media.size(); ++i) {
                    if (watch->socketOf[i])
                        continue;
                    figures.media[i].state = EReceptionState::NotWatched;
                    figures.media[i].note = watch->notes[i];
                }
                report(figures);
                // Keep to the watch's own beat; after a stall, start again from now.
                watch->nextReport += m_options.reportIntervalNs;
                if (watch->nextReport <= now)
                    watch->nextReport = now + m_options.reportIntervalNs;
            }
            next = std::min(next, watch->nextReport);
        }
        return next;
    }

    // The smallest receive buffer of the open sockets (0: none open).
    int SmallestBuffer() const
    {
        int smallest = 0;
        for (const auto& [key, socket] : m_sockets)
            if (smallest == 0 || (socket->bufferBytes > 0 && socket->bufferBytes < smallest))
                smallest = socket->bufferBytes;
        return smallest;
    }

    bool HasUnopened() const
    {
        for (const auto& [id, watch] : m_watches)
            for (size_t i = 0; i < watch->socketOf.size(); ++i)
                if (!watch->socketOf[i] && watch->plan.media[i].unusable.empty())
                    return true;
        return false;
    }

private:
    static constexpr size_t kControlRoom = CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(uint32_t)) + 64;

    // What every socket asks for, whatever its family.
    void SetCommonOptions(int fd) const
    {
        const int on = 1;
        // Players on this host may listen to the same group and port.
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
        if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &m_options.receiveBuffer, sizeof m_options.receiveBuffer) != 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &m_options.receiveBuffer, sizeof m_options.receiveBuffer);
    }

    std::unique_ptr<CSocket> Finish(int fd, bool multicast)
    {
        auto socket = std::make_unique<CSocket>();
        socket->fd = fd;
        socklen_t length = sizeof socket->bufferBytes;
        getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &socket->bufferBytes, &length);
        socket->multicast = multicast;
        return socket;
    }

    static int NewSocket(int family, std::string& error)
    {
        const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            error = std::string("socket: ") + std::strerror(errno);
        return fd;
    }
    // Closes a socket that could not be set up, saying which step failed.
    static std::unique_ptr<CSocket> Fail(int fd, const char* what, std::string& error)
    {
        error = std::string(what) + ": " + std::strerror(errno);
        close(fd);
        return nullptr;
    }

    std::unique_ptr<CSocket> Open(const CSocketKey& key, std::string& error)
    {
        if (key.ipv6)
            return Open6(key, error);
        const int fd = NewSocket(AF_INET, error);
        if (fd < 0)
            return nullptr;
        auto fail = [&](const char* what) { return Fail(fd, what, error); };
        const int off = 0;
        SetCommonOptions(fd);
        const bool multicast = IsMulticast(key.address);
        if (multicast)
            setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(key.port);
        // A group socket hears only its group; a unicast one its address.
        local.sin_addr.s_addr = key.address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            local.sin_addr.s_addr = INADDR_ANY;
            if (multicast || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
                return fail("bind");
        }
        if (multicast) {
            if (key.sources.empty()) {
                ip_mreqn request{};
                request.imr_multiaddr.s_addr = key.address;
                request.imr_address.s_addr = m_options.interfaceAddress;
                if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
                    return fail("join");
            } else {
                for (uint32_t source : key.sources) {
                    ip_mreq_source request{};
                    request.imr_multiaddr.s_addr = key.address;
                    request.imr_interface.s_addr = m_options.interfaceAddress;
                    request.imr_sourceaddr.s_addr = source;
                    if (setsockopt(fd, IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP, &request, sizeof request) != 0)
                        return fail("source-specific join");
                }
            }
            ++m_joined;
        }
        return Finish(fd, multicast);
    }

    std::unique_ptr<CSocket> Open6(const CSocketKey& key, std::string& error)
    {
        const int fd = NewSocket(AF_INET6, error);
        if (fd < 0)
            return nullptr;
        auto fail = [&](const char* what) { return Fail(fd, what, error); };
        const int on = 1;
        SetCommonOptions(fd);
        // IPv4 senders to the same port are not ours.
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        const bool multicast = key.Multicast();
#ifdef IPV6_MULTICAST_ALL
        const int off = 0;
        if (multicast)
            setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_ALL, &off, sizeof off);
#endif
        const uint32_t scope = m_options.interfaceIndex6;
        sockaddr_in6 local = Ipv6SocketAddress(key.address6, key.port, scope);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            local = Ipv6SocketAddress(text::CIpv6Address{}, key.port, 0);
            if (multicast || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
                return fail("bind");
        }
        if (multicast) {
            const sockaddr_in6 group = Ipv6SocketAddress(key.address6, 0, scope);
            if (key.sources6.empty()) {
                group_req request{};
                request.gr_interface = scope;
                std::memcpy(&request.gr_group, &group, sizeof group);
                if (setsockopt(fd, IPPROTO_IPV6, MCAST_JOIN_GROUP, &request, sizeof request) != 0)
                    return fail("join");
            } else {
                for (const text::CIpv6Address& source : key.sources6) {
                    group_source_req request{};
                    request.gsr_interface = scope;
                    std::memcpy(&request.gsr_group, &group, sizeof group);
                    const sockaddr_in6 from = Ipv6SocketAddress(source, 0, scope);
                    std::memcpy(&request.gsr_source, &from, sizeof from);
                    if (setsockopt(fd, IPPROTO_IPV6, MCAST_JOIN_SOURCE_GROUP, &request, sizeof request) != 0)
                        return fail("source-specific join");
                }
            }
            ++m_joined;
        }
        return Finish(fd, multicast);
    }

    void PrepareMessages()
    {
        for (unsigned k = 0; k < m_options.batch; ++k) {
            m_vectors[k] = {m_buffers.data() + k * kDatagramRoom, kDatagramRoom};
            msghdr& h = m_messages[k].msg_hdr;
            h = {};
            h.msg_name = &m_names[k];
            h.msg_namelen = sizeof m_names[k];
            h.msg_iov = &m_vectors[k];
            h.msg_iovlen = 1;
            h.msg_control = m_controls.data() + k * kControlRoom;
            h.msg_controllen = kControlRoom;
            m_messages[k].msg_len = 0;
        }
    }

    void Deliver(CSocket& socket, size_t k, int64_t monotonic, int64_t wall)
    {
        msghdr& h = m_messages[k].msg_hdr;
        int64_t stamp = wall;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
            if (c->cmsg_level != SOL_SOCKET)
                continue;
            if (c->cmsg_type == SCM_TIMESTAMPNS && c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
                timespec ts;
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                stamp = int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
            } else if (c->cmsg_type == SO_RXQ_OVFL && c->cmsg_len >= CMSG_LEN(sizeof(uint32_t))) {
                uint32_t drops;
                std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
                socket.drops = drops;
            }
        }
        // The arrival on the monotonic clock: the read time less the wait in the queue.
        const int64_t queued = std::clamp<int64_t>(wall - stamp, 0, 1'000'000'000);
        CArrival arrival{monotonic - queued, stamp, 0, 0};
        text::CIpv6Address sender6;
        if (m_names[k].v6.sin6_family == AF_INET6) {
            std::memcpy(sender6.data(), &m_names[k].v6.sin6_addr, sender6.size());
            arrival.address6 = &sender6;
            arrival.port = ntohs(m_names[k].v6.sin6_port);
        } else {
            arrival.address = m_names[k].v4.sin_addr.s_addr;
            arrival.port = ntohs(m_names[k].v4.sin_port);
        }
        const uint8_t* data = m_buffers.data() + k * kDatagramRoom;
        const size_t size = std::min<size_t>(m_messages[k].msg_len, kDatagramRoom);
        for (const CConsumer& c : socket.consumers) {
            auto it = m_watches.find(c.watchId);
            if (it != m_watches.end())
                it->second->stats->Feed(c.mediaIndex, data, size, arrival);
        }
    }

    const CReceiverOptions& m_options;
    std::atomic<size_t>& m_joined;
    std::map<int, std::unique_ptr<CWatchState>> m_watches;
    std::map<CSocketKey, std::unique_ptr<CSocket>> m_sockets;
    std::vector<uint8_t> m_buffers;
    std::vector<mmsghdr> m_messages;
    std::vector<iovec> m_vectors;
    std::vector<CPeerName> m_names;
    std::vector<uint8_t> m_controls;
};

CReceiver::CReceiver(const CReceiverOptions& options, Report report) : m_options(options), m_report(std::move(report))
{
    if (m_options.batch == 0)
        m_options.batch = 1;
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

CReceiver::~CReceiver()
{
    m_stop = true;
    Wake();
    m_thread.join();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

int CReceiver::Watch(const CReceptionPlan& plan)
{
    std::lock_guard lock(m_mutex);
    const int id = m_nextId++;
    m_commands.push_back({id, true, plan});
    Wake();
    return id;
}

void CReceiver::Unwatch(int id)
{
    std::lock_guard lock(m_mutex);
    m_commands.push_back({id, false, {}});
    Wake();
}

void CReceiver::Wake()
{
    const uint64_t one = 1;
    if (m_wakeFd >= 0)
        (void)!write(m_wakeFd, &one, sizeof one);
}

void CReceiver::Run()
{
    CWorker worker(m_options, m_joined);
    std::vector<pollfd> fds;
    std::vector<CSocket*> sockets;
    int64_t nextReport = ClockNs(CLOCK_MONOTONIC) + m_options.reportIntervalNs;
    int64_t nextRetry = 0;
    int64_t lastRead = ClockNs(CLOCK_MONOTONIC);
    while (!m_stop) {
        std::vector<CCommand> commands;
        {
            std::lock_guard lock(m_mutex);
            commands.swap(m_commands);
        }
        for (CCommand& c : commands) {
            const int64_t now = ClockNs(CLOCK_MONOTONIC);
            if (c.add)
                worker.Add(c.id, c.plan, now);
            else
                worker.Remove(c.id);
            nextReport = std::min(nextReport, now + m_options.reportIntervalNs);
        }
        fds.clear();
        sockets.clear();
        fds.push_back({m_wakeFd, POLLIN, 0});
        worker.PollList(fds, sockets);
        const int64_t now = ClockNs(CLOCK_MONOTONIC);
        const int timeoutMs = int(std::clamp<int64_t>((nextReport - now + 999'999) / 1'000'000, 0, 1000));
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            (void)!read(m_wakeFd, &count, sizeof count);
        }
        size_t read = 0;
        for (size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN)
                read += worker.Drain(*sockets[i - 1]);
        const int64_t after = ClockNs(CLOCK_MONOTONIC);
        if (after >= nextReport) {
            // A media entry refused a place may find one another watch gave up.
            if (after >= nextRetry && worker.HasUnopened()) {
                worker.OpenMissing();
                nextRetry = after + m_options.reportIntervalNs;
            }
            nextReport = worker.ReportDue(after, m_report);
        }
        if (read > 0 && m_options.coalesceNs > 0) {
            // Wait no longer than a quarter of the smallest queue takes to
            // fill at the rate just seen (the kernel's count includes its
            // own bookkeeping per datagram).
            const double bytesPerNs = double(read) / double(std::max<int64_t>(after - lastRead, 1'000));
            const int64_t safe = int64_t(double(worker.SmallestBuffer()) / 4 / bytesPerNs);
            const int64_t pause =
                std::min({m_options.coalesceNs, safe, std::max<int64_t>(0, nextReport - after)});
            if (pause > 0) {
                timespec ts{time_t(pause / 1'000'000'000), long(pause % 1'000'000'000)};
                nanosleep(&ts, nullptr);
            }
        }
        if (read > 0)
            lastRead = after;
    }
}
