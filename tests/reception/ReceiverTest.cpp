// The receiver on real sockets: unicast and multicast on the loopback
// interface, source-specific joins, the group limit and leaving; IPv6
// unicast, and IPv6 joins as the kernel records them (the loopback
// interface carries no IPv6 multicast: the veth test sends those).
#include "RtpPackets.h"

#include "reception/Receiver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <condition_variable>
#include <fstream>
#include <set>
#include <sstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A UDP socket bound to the loopback address of `family` (any port); -1
// when this host has no such address.
int LoopbackSocket(int family)
{
    const int fd = socket(family, SOCK_DGRAM, 0);
    sockaddr_storage a{};
    a.ss_family = static_cast<sa_family_t>(family);
    if (family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(a).sin6_addr = in6addr_loopback;
    else
        reinterpret_cast<sockaddr_in&>(a).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

uint16_t PortOf(int fd)
{
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(reinterpret_cast<sockaddr_in&>(a).sin_port); // where sin6_port lies too
}

uint16_t FreePort(int family = AF_INET)
{
    const int fd = LoopbackSocket(family);
    const uint16_t port = PortOf(fd);
    close(fd);
    return port;
}

bool HasIpv6Loopback()
{
    const int fd = LoopbackSocket(AF_INET6);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

// The IPv6 groups joined on an interface, as the kernel lists them
// ("ff0e0000...1234"), and the sources of its source-specific joins
// ("group source" pairs).
std::set<std::string> KernelRows(const char* file, const std::string& device)
{
    std::set<std::string> rows;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string index, name, group, source;
        words >> index >> name >> group;
        if (name != device)
            continue;
        if (std::string(file).ends_with("mcfilter6") && words >> source)
            group += " " + source;
        rows.insert(group);
    }
    return rows;
}

// Sends from the loopback address of its family; IPv4 groups go out
// through the loopback interface.
class CSender {
public:
    explicit CSender(int family = AF_INET) : m_fd(LoopbackSocket(family))
    {
        in_addr lo{htonl(INADDR_LOOPBACK)};
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
        const int on = 1;
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
    }
    ~CSender() { close(m_fd); }
    void Send(const char* address, uint16_t port, const std::vector<uint8_t>& bytes)
    {
        sockaddr_storage to{};
        auto& v4 = reinterpret_cast<sockaddr_in&>(to);
        auto& v6 = reinterpret_cast<sockaddr_in6&>(to);
        to.ss_family = inet_pton(AF_INET6, address, &v6.sin6_addr) == 1 ? AF_INET6 : AF_INET;
        if (to.ss_family == AF_INET)
            v4.sin_addr.s_addr = inet_addr(address);
        v4.sin_port = htons(port);
        sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // Sequences from..to-1 with timestamps 3000 apart, leaving out `lost`
    // and sending `repeated` twice.
    void Stream(const char* address, uint16_t port, uint16_t from, uint16_t to, std::set<uint16_t> lost = {},
                int repeated = -1)
    {
        for (uint16_t s = from; s < to; ++s) {
            CTestRtp p;
            p.sequence = s;
            p.timestamp = s * 3000u;
            for (int copies = lost.count(s) ? 0 : s == repeated ? 2 : 1; copies > 0; --copies)
                Send(address, port, p.Bytes());
        }
    }
    uint16_t Port() const { return PortOf(m_fd); }

private:
    int m_fd;
};

// Keeps the latest report of every watch.
struct CReports {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, CSessionFigures> latest;
    std::map<int, int> count;

    CReceiver::Report Sink()
    {
        return [this](const CSessionFigures& f) {
            std::lock_guard lock(mutex);
            latest[f.watchId] = f;
            ++count[f.watchId];
            changed.notify_all();
        };
    }
    // Waits until `ok` holds for the watch's latest figures.
    template <class Ok>
    bool WaitFor(int id, Ok ok, std::chrono::milliseconds limit = 3000ms)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return latest.count(id) && ok(latest[id]); });
    }
    CSessionFigures Latest(int id)
    {
        std::lock_guard lock(mutex);
        return latest[id];
    }
};

CReceiverOptions FastOptions()
{
    CReceiverOptions o;
    o.reportIntervalNs = 100'000'000;
    o.interfaceAddress = htonl(INADDR_LOOPBACK);
    o.interfaceIndex6 = if_nametoindex("lo");
    return o;
}

// An RTP destination; an IPv6 one when the address has a colon.
CMediaTarget Target(const char* address, uint16_t port, int mediaIndex = 0)
{
    CMediaTarget t;
    t.mediaIndex = mediaIndex;
    t.address = address;
    t.ipv6 = std::strchr(address, ':') != nullptr;
    if (t.ipv6)
        t.group6 = text::ParseIpv6(address).value();
    else
        t.group = inet_addr(address);
    t.port = port;
    t.rtp = true;
    t.announcedTypes = {96};
    t.clockRates[96] = 90000;
    return t;
}

// Whether this host lets us join a group on the loopback interface.
bool LoopbackMulticast()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = inet_addr("239.255.77.1");
    request.imr_address.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0;
    close(fd);
    return ok;
}

class ReceiverTest : public ::testing::Test {
protected:
    CReceiverOptions options = FastOptions();
    CReports reports;
    std::optional<CReceiver> receiver;

    // Starts the receiver (with `options`) if need be and watches `media`,
    // waiting for the first report that lists them all.
    int Watch(std::vector<CMediaTarget> media)
    {
        if (!receiver)
            receiver.emplace(options, reports.Sink());
        CReceptionPlan plan;
        plan.media = std::move(media);
        const size_t n = plan.media.size();
        const int id = receiver->Watch(plan);
        EXPECT_TRUE(reports.WaitFor(id, [n](const CSessionFigures& f) { return f.media.size() == n; }));
        return id;
    }
    bool Packets(int id, size_t media, uint64_t packets)
    {
        return reports.WaitFor(id, [=](const CSessionFigures& f) { return f.media[media].packets == packets; });
    }
    // Ends the watch; every group it alone held is left.
    void UnwatchAll(std::initializer_list<int> ids)
    {
        for (int id : ids)
            receiver->Unwatch(id);
        for (int i = 0; i < 50 && receiver->JoinedGroups() != 0; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(receiver->JoinedGroups(), 0u);
    }
};

// In both families: the counts, the sender as "address:port" ("[address]:port"
// for IPv6), and datagrams to the same port in the other family are not the stream's.
TEST_F(ReceiverTest, CountsAUnicastStreamAndNamesItsSender)
{
    const bool ipv6 = HasIpv6Loopback();
    for (const auto& [family, address, other] : {std::tuple{AF_INET, "127.0.0.1", "::1"}, {AF_INET6, "::1", "127.0.0.1"}}) {
        SCOPED_TRACE(address);
        if (family == AF_INET6 && !ipv6)
            continue; // no IPv6 on the loopback interface here
        const uint16_t port = FreePort(family);
        const int id = Watch({Target(address, port)});
        EXPECT_NE(reports.Latest(id).media[0].state, EReceptionState::NotWatched) << reports.Latest(id).media[0].note;
        CSender sender(family);
        sender.Stream(address, port, 100, 160, {110, 111, 140}, 120);
        if (ipv6)
            CSender(family == AF_INET ? AF_INET6 : AF_INET).Stream(other, port, 120, 121);
        // A datagram larger than any Ethernet frame is taken whole.
        CTestRtp large;
        large.sequence = 160;
        large.payload.resize(20000);
        sender.Send(address, port, large.Bytes());
        ASSERT_TRUE(Packets(id, 0, 59)) << reports.Latest(id).media[0].packets;
        std::this_thread::sleep_for(150ms);
        const CMediaFigures m = reports.Latest(id).media[0];
        EXPECT_EQ(std::tuple(m.packets, m.bytes, m.expected, m.lost, m.duplicates, m.outOfOrder, m.malformed,
                             m.kernelDrops),
                  std::tuple(59u, 58u * 32 + 20012, 61u, 3u, 1u, 0u, 0u, 0u));
        const std::string from = family == AF_INET6 ? "[::1]" : "127.0.0.1";
        EXPECT_EQ(m.senders, (std::vector<std::string>{from + ":" + std::to_string(sender.Port())}));
        EXPECT_TRUE(m.jitterMs);
        EXPECT_EQ(m.state, EReceptionState::Impaired); // 3 of 61 lost
    }
    EXPECT_EQ(receiver->JoinedGroups(), 0u); // unicast joins nothing
}

TEST_F(ReceiverTest, SourceSpecificJoinHearsOnlyItsSource)
{
    if (!LoopbackMulticast())
        GTEST_SKIP() << "no multicast on the loopback interface here";
    const uint16_t port = FreePort();
    CMediaTarget ours = Target("239.255.77.2", port), other = ours;
    ours.sources = {htonl(INADDR_LOOPBACK)};
    other.sources = {inet_addr("127.0.0.9")};
    const int idAny = Watch({Target("239.255.77.2", port)}), idOurs = Watch({ours}), idOther = Watch({other});
    EXPECT_EQ(receiver->JoinedGroups(), 3u);
    CSender().Stream("239.255.77.2", port, 0, 10);
    for (int id : {idAny, idOurs})
        EXPECT_TRUE(Packets(id, 0, 10));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.Latest(idOther).media[0].packets, 0u);
    EXPECT_EQ(reports.Latest(idOther).media[0].state, EReceptionState::Silent);
}

TEST_F(ReceiverTest, GroupLimitAndLeaving)
{
    if (!LoopbackMulticast())
        GTEST_SKIP() << "no multicast on the loopback interface here";
    options.maxGroups = 2;
    const uint16_t port = FreePort();
    const int a = Watch({Target("239.255.77.3", port), Target("239.255.77.4", port, 1)});
    // The same group as the first watch's shares its socket; the new one is over the limit.
    const int b = Watch({Target("239.255.77.3", port), Target("239.255.77.5", port, 1)});
    EXPECT_EQ(receiver->JoinedGroups(), 2u);
    CMediaFigures refused = reports.Latest(b).media[1];
    EXPECT_EQ(refused.state, EReceptionState::NotWatched);
    EXPECT_EQ(refused.note, "limit of 2 groups reached");
    EXPECT_NE(reports.Latest(b).media[0].state, EReceptionState::NotWatched);

    CSender().Stream("239.255.77.3", port, 0, 1);
    for (int id : {a, b})
        EXPECT_TRUE(Packets(id, 0, 1));

    // The first watch ends: its own group is left, the shared one stays,
    // and the refused entry takes the free place.
    receiver->Unwatch(a);
    EXPECT_TRUE(reports.WaitFor(b, [](const CSessionFigures& f) {
        return f.media[1].state != EReceptionState::NotWatched;
    }));
    EXPECT_EQ(receiver->JoinedGroups(), 2u);
    UnwatchAll({b});
}

TEST_F(ReceiverTest, Ipv6JoinsOnTheChosenInterfaceAndLeaves)
{
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface here";
    const uint16_t port = FreePort(AF_INET6);
    // Groups of their own: other programs' joins do not count.
    char any[40], ssm[40], link[40];
    std::snprintf(any, sizeof any, "ff0e::7a:%x", port);
    std::snprintf(ssm, sizeof ssm, "ff3e::7b:%x", port);
    // A link-local group is bound together with the interface's index.
    std::snprintf(link, sizeof link, "ff02::7d:%x", port);
    // The source-specific entry is joined last: the kernel's list of
    // filters shows an interface's sources only while its newest group has some.
    CMediaTarget source = Target(ssm, port, 2);
    source.sources6 = {text::ParseIpv6("fd78::9").value(), text::ParseIpv6("::1").value()};
    const int id = Watch({Target(link, port), Target(any, port, 1), source});
    for (const CMediaFigures& m : reports.Latest(id).media)
        EXPECT_NE(m.state, EReceptionState::NotWatched) << m.group << ": " << m.note;
    EXPECT_EQ(receiver->JoinedGroups(), 3u);
    auto hex = [](const char* address) {
        std::string out;
        char byte[3];
        const text::CIpv6Address bytes = text::ParseIpv6(address).value();
        for (uint8_t b : bytes) {
            std::snprintf(byte, sizeof byte, "%02x", b);
            out += byte;
        }
        return out;
    };
    const std::set<std::string> groups = KernelRows("/proc/net/igmp6", "lo");
    for (const char* group : {any, ssm, link})
        EXPECT_TRUE(groups.count(hex(group))) << group;
    const std::set<std::string> filters = KernelRows("/proc/net/mcfilter6", "lo");
    EXPECT_TRUE(filters.count(hex(ssm) + " " + hex("fd78::9")));
    EXPECT_TRUE(filters.count(hex(ssm) + " " + hex("::1")));
    EXPECT_FALSE(filters.count(hex(any) + " " + hex("::1"))); // any-source: no filter rows

    UnwatchAll({id});
    const std::set<std::string> after = KernelRows("/proc/net/igmp6", "lo");
    for (const char* group : {any, ssm, link})
        EXPECT_FALSE(after.count(hex(group))) << group;
}

TEST_F(ReceiverTest, Ipv6JoinOnAMissingInterfaceSaysWhy)
{
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface here";
    options.interfaceIndex6 = 0x7FFFFFF0; // no such interface
    const uint16_t port = FreePort(AF_INET6);
    CMediaTarget source = Target("ff3e::7c:2", port, 1);
    source.sources6 = {text::ParseIpv6("::1").value()};
    const int id = Watch({Target("ff0e::7c:1", port), source, Target("::1", port, 2)});
    const CSessionFigures f = reports.Latest(id);
    EXPECT_EQ(f.media[0].state, EReceptionState::NotWatched);
    EXPECT_EQ(f.media[0].note.rfind("join: ", 0), 0u) << f.media[0].note;
    EXPECT_EQ(f.media[1].state, EReceptionState::NotWatched);
    EXPECT_EQ(f.media[1].note.rfind("source-specific join: ", 0), 0u) << f.media[1].note;
    // A unicast destination needs no interface.
    EXPECT_NE(f.media[2].state, EReceptionState::NotWatched) << f.media[2].note;
    EXPECT_EQ(receiver->JoinedGroups(), 0u); // failed joins hold no place
}

TEST_F(ReceiverTest, ReportsOncePerIntervalAndWhatCannotBeWatched)
{
    CReceptionPlan plan;
    plan.media = {Target("127.0.0.1", FreePort())};
    plan.media[0].unusable = "no IPv4 destination";
    receiver.emplace(options, reports.Sink());
    const int id = receiver->Watch(plan);
    std::this_thread::sleep_for(1050ms);
    receiver->Unwatch(id);
    std::this_thread::sleep_for(250ms);
    std::lock_guard lock(reports.mutex);
    EXPECT_GE(reports.count[id], 9);
    EXPECT_LE(reports.count[id], 11);
    EXPECT_EQ(reports.latest[id].media[0].state, EReceptionState::NotWatched);
    EXPECT_EQ(reports.latest[id].media[0].note, "no IPv4 destination");
}

} // namespace
