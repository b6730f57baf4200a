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
#include <condition_variable>
#include <fstream>
#include <set>
#include <sstream>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

uint16_t FreePort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

uint16_t FreePort6()
{
    const int fd = socket(AF_INET6, SOCK_DGRAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin6_port);
}

// Sends from ::1 to ::1.
class CSender6 {
public:
    CSender6() : m_fd(socket(AF_INET6, SOCK_DGRAM, 0)) {}
    ~CSender6() { close(m_fd); }
    void Send(uint16_t port, const std::vector<uint8_t>& bytes)
    {
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(port);
        to.sin6_addr = in6addr_loopback;
        sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    uint16_t Port() const
    {
        sockaddr_in6 a{};
        socklen_t length = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
        return ntohs(a.sin6_port);
    }

private:
    int m_fd;
};

bool HasIpv6Loopback()
{
    const int fd = socket(AF_INET6, SOCK_DGRAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
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

// Sends from 127.0.0.1, to a group through the loopback interface.
class CSender {
public:
    CSender()
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        in_addr lo{htonl(INADDR_LOOPBACK)};
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
        const int on = 1;
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
    }
    ~CSender() { close(m_fd); }
    void Send(const char* address, uint16_t port, const std::vector<uint8_t>& bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = inet_addr(address);
        sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

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

CMediaTarget Target6(const char* address, uint16_t port)
{
    CMediaTarget t;
    t.address = address;
    t.ipv6 = true;
    t.group6 = text::ParseIpv6(address).value();
    t.port = port;
    t.rtp = true;
    t.announcedTypes = {96};
    t.clockRates[96] = 90000;
    return t;
}

CMediaTarget Target(const char* address, uint16_t port)
{
    CMediaTarget t;
    t.address = address;
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

TEST(Receiver, CountsAUnicastStreamOnRealSockets)
{
    CReports reports;
    CReceiver receiver(FastOptions(), reports.Sink());
    const uint16_t port = FreePort();
    CReceptionPlan plan;
    plan.media = {Target("127.0.0.1", port)};
    const int id = receiver.Watch(plan);
    ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media.size() == 1; }));
    CSender sender;
    for (uint16_t s = 0; s < 60; ++s) {
        CTestRtp p;
        p.sequence = s;
        p.timestamp = s * 3000u;
        if (s == 20 || s == 21 || s == 40)
            continue;
        sender.Send("127.0.0.1", port, p.Bytes());
        if (s == 30)
            sender.Send("127.0.0.1", port, p.Bytes());
    }
    ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media[0].packets == 58; }))
        << reports.Latest(id).media[0].packets;
    const CMediaFigures m = reports.Latest(id).media[0];
    EXPECT_EQ(m.expected, 59u);
    EXPECT_EQ(m.lost, 3u);
    EXPECT_EQ(m.duplicates, 1u);
    EXPECT_EQ(m.outOfOrder, 0u);
    EXPECT_EQ(m.kernelDrops, 0u);
    ASSERT_EQ(m.senders.size(), 1u);
    EXPECT_EQ(m.senders[0].rfind("127.0.0.1:", 0), 0u);
    EXPECT_TRUE(m.jitterMs);
    EXPECT_EQ(receiver.JoinedGroups(), 0u); // unicast joins nothing
}

TEST(Receiver, SourceSpecificJoinHearsOnlyItsSource)
{
    if (!LoopbackMulticast())
        GTEST_SKIP() << "no multicast on the loopback interface here";
    CReports reports;
    CReceiver receiver(FastOptions(), reports.Sink());
    const uint16_t port = FreePort();
    CReceptionPlan any, ours, other;
    any.media = {Target("239.255.77.2", port)};
    ours.media = {Target("239.255.77.2", port)};
    ours.media[0].sources = {htonl(INADDR_LOOPBACK)};
    other.media = {Target("239.255.77.2", port)};
    other.media[0].sources = {inet_addr("127.0.0.9")};
    const int idAny = receiver.Watch(any), idOurs = receiver.Watch(ours), idOther = receiver.Watch(other);
    for (int id : {idAny, idOurs, idOther})
        ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return !f.media.empty(); }));
    EXPECT_EQ(receiver.JoinedGroups(), 3u);
    CSender sender;
    for (uint16_t s = 0; s < 10; ++s) {
        CTestRtp p;
        p.sequence = s;
        sender.Send("239.255.77.2", port, p.Bytes());
    }
    for (int id : {idAny, idOurs})
        EXPECT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media[0].packets == 10; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.Latest(idOther).media[0].packets, 0u);
    EXPECT_EQ(reports.Latest(idOther).media[0].state, EReceptionState::Silent);
}

TEST(Receiver, GroupLimitAndLeaving)
{
    if (!LoopbackMulticast())
        GTEST_SKIP() << "no multicast on the loopback interface here";
    CReceiverOptions options = FastOptions();
    options.maxGroups = 2;
    CReports reports;
    CReceiver receiver(options, reports.Sink());
    const uint16_t port = FreePort();
    CReceptionPlan first, second;
    first.media = {Target("239.255.77.3", port), Target("239.255.77.4", port)};
    first.media[1].mediaIndex = 1;
    // The same group as the first watch's shares its socket; the new one is over the limit.
    second.media = {Target("239.255.77.3", port), Target("239.255.77.5", port)};
    second.media[1].mediaIndex = 1;
    const int a = receiver.Watch(first);
    const int b = receiver.Watch(second);
    ASSERT_TRUE(reports.WaitFor(b, [](const CSessionFigures& f) { return f.media.size() == 2; }));
    EXPECT_EQ(receiver.JoinedGroups(), 2u);
    CMediaFigures refused = reports.Latest(b).media[1];
    EXPECT_EQ(refused.state, EReceptionState::NotWatched);
    EXPECT_EQ(refused.note, "limit of 2 groups reached");
    EXPECT_NE(reports.Latest(b).media[0].state, EReceptionState::NotWatched);

    CSender sender;
    CTestRtp p;
    sender.Send("239.255.77.3", port, p.Bytes());
    for (int id : {a, b})
        EXPECT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media[0].packets == 1; }));

    // The first watch ends: its own group is left, the shared one stays,
    // and the refused entry takes the free place.
    receiver.Unwatch(a);
    EXPECT_TRUE(reports.WaitFor(b, [](const CSessionFigures& f) {
        return f.media[1].state != EReceptionState::NotWatched;
    }));
    EXPECT_EQ(receiver.JoinedGroups(), 2u);
    receiver.Unwatch(b);
    for (int i = 0; i < 50 && receiver.JoinedGroups() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(receiver.JoinedGroups(), 0u);
}

TEST(Receiver, CountsAnIpv6StreamAndNamesItsSender)
{
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface here";
    CReports reports;
    CReceiver receiver(FastOptions(), reports.Sink());
    const uint16_t port = FreePort6();
    CReceptionPlan plan;
    plan.media = {Target6("::1", port)};
    const int id = receiver.Watch(plan);
    ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media.size() == 1; }));
    EXPECT_NE(reports.Latest(id).media[0].state, EReceptionState::NotWatched) << reports.Latest(id).media[0].note;
    CSender6 sender;
    CSender v4; // the same port in the other family is not this stream's
    for (uint16_t s = 100; s < 150; ++s) {
        CTestRtp p;
        p.sequence = s;
        p.timestamp = s * 3000u;
        if (s == 110 || s == 140)
            continue;
        sender.Send(port, p.Bytes());
        if (s == 120) {
            sender.Send(port, p.Bytes());
            v4.Send("127.0.0.1", port, p.Bytes());
        }
    }
    ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media[0].packets == 49; }))
        << reports.Latest(id).media[0].packets;
    std::this_thread::sleep_for(150ms);
    const CMediaFigures m = reports.Latest(id).media[0];
    EXPECT_EQ(m.packets, 49u);
    EXPECT_EQ(m.expected, 49u); // the first packet starts the count
    EXPECT_EQ(m.lost, 2u);
    EXPECT_EQ(m.duplicates, 1u);
    EXPECT_EQ(m.malformed, 0u);
    EXPECT_EQ(m.senders, (std::vector<std::string>{"[::1]:" + std::to_string(sender.Port())}));
    EXPECT_EQ(m.state, EReceptionState::Impaired); // 2 of 50 lost
    EXPECT_EQ(receiver.JoinedGroups(), 0u);
}

TEST(Receiver, Ipv6JoinsOnTheChosenInterfaceAndLeaves)
{
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface here";
    CReports reports;
    CReceiver receiver(FastOptions(), reports.Sink());
    const uint16_t port = FreePort6();
    // Groups of their own: other programs' joins do not count.
    char any[40], ssm[40], link[40];
    std::snprintf(any, sizeof any, "ff0e::7a:%x", port);
    std::snprintf(ssm, sizeof ssm, "ff3e::7b:%x", port);
    // A link-local group is bound together with the interface's index.
    std::snprintf(link, sizeof link, "ff02::7d:%x", port);
    // The source-specific entry is joined last: the kernel's list of
    // filters shows an interface's sources only while its newest group has some.
    CReceptionPlan plan;
    plan.media = {Target6(link, port), Target6(any, port), Target6(ssm, port)};
    plan.media[1].mediaIndex = 1;
    plan.media[2].mediaIndex = 2;
    plan.media[2].sources6 = {text::ParseIpv6("fd78::9").value(), text::ParseIpv6("::1").value()};
    const int id = receiver.Watch(plan);
    ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media.size() == 3; }));
    for (const CMediaFigures& m : reports.Latest(id).media)
        EXPECT_NE(m.state, EReceptionState::NotWatched) << m.group << ": " << m.note;
    EXPECT_EQ(receiver.JoinedGroups(), 3u);
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
    EXPECT_TRUE(groups.count(hex(any))) << any;
    EXPECT_TRUE(groups.count(hex(ssm))) << ssm;
    EXPECT_TRUE(groups.count(hex(link))) << link;
    const std::set<std::string> filters = KernelRows("/proc/net/mcfilter6", "lo");
    EXPECT_TRUE(filters.count(hex(ssm) + " " + hex("fd78::9")));
    EXPECT_TRUE(filters.count(hex(ssm) + " " + hex("::1")));
    EXPECT_FALSE(filters.count(hex(any) + " " + hex("::1"))); // any-source: no filter rows

    receiver.Unwatch(id);
    for (int i = 0; i < 50 && receiver.JoinedGroups() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(receiver.JoinedGroups(), 0u);
    const std::set<std::string> after = KernelRows("/proc/net/igmp6", "lo");
    EXPECT_FALSE(after.count(hex(any)));
    EXPECT_FALSE(after.count(hex(ssm)));
    EXPECT_FALSE(after.count(hex(link)));
}

TEST(Receiver, Ipv6JoinOnAMissingInterfaceSaysWhy)
{
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface here";
    CReceiverOptions options = FastOptions();
    options.interfaceIndex6 = 0x7FFFFFF0; // no such interface
    CReports reports;
    CReceiver receiver(options, reports.Sink());
    const uint16_t port = FreePort6();
    CReceptionPlan plan;
    plan.media = {Target6("ff0e::7c:1", port), Target6("ff3e::7c:2", port), Target6("::1", port)};
    plan.media[1].mediaIndex = 1;
    plan.media[1].sources6 = {text::ParseIpv6("::1").value()};
    plan.media[2].mediaIndex = 2;
    const int id = receiver.Watch(plan);
    ASSERT_TRUE(reports.WaitFor(id, [](const CSessionFigures& f) { return f.media.size() == 3; }));
    const CSessionFigures f = reports.Latest(id);
    EXPECT_EQ(f.media[0].state, EReceptionState::NotWatched);
    EXPECT_EQ(f.media[0].note.rfind("join: ", 0), 0u) << f.media[0].note;
    EXPECT_EQ(f.media[1].state, EReceptionState::NotWatched);
    EXPECT_EQ(f.media[1].note.rfind("source-specific join: ", 0), 0u) << f.media[1].note;
    // A unicast destination needs no interface.
    EXPECT_NE(f.media[2].state, EReceptionState::NotWatched) << f.media[2].note;
    EXPECT_EQ(receiver.JoinedGroups(), 0u); // failed joins hold no place
}

TEST(Receiver, ReportsOncePerIntervalAndWhatCannotBeWatched)
{
    CReports reports;
    CReceiverOptions options = FastOptions();
    CReceiver receiver(options, reports.Sink());
    CReceptionPlan plan;
    plan.media = {Target("127.0.0.1", FreePort())};
    plan.media[0].unusable = "no IPv4 destination";
    const int id = receiver.Watch(plan);
    std::this_thread::sleep_for(1050ms);
    receiver.Unwatch(id);
    std::this_thread::sleep_for(250ms);
    std::lock_guard lock(reports.mutex);
    EXPECT_GE(reports.count[id], 9);
    EXPECT_LE(reports.count[id], 11);
    EXPECT_EQ(reports.latest[id].media[0].state, EReceptionState::NotWatched);
    EXPECT_EQ(reports.latest[id].media[0].note, "no IPv4 destination");
}

} // namespace
