// The reception statistics per packet against a plain copy of the same
// packet, for RTP video and for a transport stream in RTP; then the whole
// receive path (sockets, worker thread, statistics) at 100,000 packets/s on
// the IPv4 and the IPv6 loopback: the CPU share it takes and the datagrams
// the kernel dropped.
#include "BenchRatio.h"

#include "reception/MediaStatistics.h"
#include "reception/Receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kPacketSize = 1328; // 12 header + 7 transport stream packets + 0: a common video datagram

std::vector<uint8_t> RtpPacket(uint8_t payloadType, bool transportStream)
{
    std::vector<uint8_t> p(12 + 7 * 188, 0);
    p[0] = 0x80;
    p[1] = payloadType;
    p[11] = 1;
    for (int k = 0; k < 7; ++k) {
        uint8_t* ts = p.data() + 12 + k * 188;
        ts[0] = transportStream ? 0x47 : 0x11;
        ts[1] = 0x01;
        ts[2] = 0x00;
        ts[3] = 0x10;
    }
    return p;
}

void SetSequence(std::vector<uint8_t>& p, uint32_t n, bool transportStream)
{
    p[2] = uint8_t(n >> 8);
    p[3] = uint8_t(n);
    const uint32_t ts = n * 3000;
    p[4] = uint8_t(ts >> 24);
    p[5] = uint8_t(ts >> 16);
    p[6] = uint8_t(ts >> 8);
    p[7] = uint8_t(ts);
    if (transportStream)
        for (uint32_t k = 0; k < 7; ++k)
            p[12 + k * 188 + 3] = uint8_t(0x10 | ((n * 7 + k) & 0x0F));
}

CReceptionPlan Plan(bool transportStream)
{
    CReceptionPlan plan;
    CMediaTarget t;
    t.rtp = true;
    t.announcedTypes = {transportStream ? 33 : 96};
    t.clockRates[size_t(t.announcedTypes[0])] = 90000;
    t.transportStream[33] = true;
    plan.media.push_back(t);
    return plan;
}

void BM_CopyPacket(benchmark::State& state)
{
    std::vector<uint8_t> packet = RtpPacket(96, false);
    std::vector<uint8_t> copy(packet.size());
    uint32_t n = 0;
    for (auto _ : state) {
        packet[3] = uint8_t(n++);
        std::memcpy(copy.data(), packet.data(), packet.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    SetItemsPerIteration(state, 1);
}
BENCHMARK(BM_CopyPacket);

void BM_StatisticsPerPacket(benchmark::State& state)
{
    const bool transportStream = state.range(0) != 0;
    std::vector<uint8_t> packet = RtpPacket(transportStream ? 33 : 96, transportStream);
    CSessionStatistics stats(Plan(transportStream), 0);
    uint32_t n = 0;
    int64_t now = 0;
    for (auto _ : state) {
        SetSequence(packet, n++, transportStream);
        now += 10'000;
        stats.Feed(0, packet.data(), packet.size(), CArrival{now, now, 0x0100007F, 5004});
    }
    SetItemsPerIteration(state, 1);
    benchmark::DoNotOptimize(stats.Figures(now).media[0].received);
}
BENCHMARK(BM_StatisticsPerPacket)->Arg(0)->Arg(1);

struct CCpu {
    int64_t user = 0, system = 0;
};
CCpu Usage(int who)
{
    rusage u{};
    getrusage(who, &u);
    return {int64_t(u.ru_utime.tv_sec) * 1'000'000'000 + u.ru_utime.tv_usec * 1000,
            int64_t(u.ru_stime.tv_sec) * 1'000'000'000 + u.ru_stime.tv_usec * 1000};
}

int64_t CpuNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// A loopback address of either family.
union CLoopback {
    sockaddr_in v4;
    sockaddr_in6 v6;
};
CLoopback Loopback(bool ipv6, uint16_t port)
{
    CLoopback a{};
    if (ipv6) {
        a.v6.sin6_family = AF_INET6;
        a.v6.sin6_port = htons(port);
        a.v6.sin6_addr = in6addr_loopback;
    } else {
        a.v4.sin_family = AF_INET;
        a.v4.sin_port = htons(port);
        a.v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    return a;
}

// Sends `rate` packets a second for `seconds` to 127.0.0.1:port (or
// [::1]:port) from this thread; returns the CPU time the sending took (and
// in `usage`, split).
int64_t SendPaced(uint16_t port, bool ipv6, int rate, int seconds, uint32_t& sent, CCpu& usage)
{
    const CCpu before = Usage(RUSAGE_THREAD);
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    CLoopback to = Loopback(ipv6, port);
    const socklen_t toLength = ipv6 ? sizeof to.v6 : sizeof to.v4;
    const int64_t start = CpuNs(CLOCK_THREAD_CPUTIME_ID);
    constexpr int kPerTick = 100; // one burst a millisecond at 100,000/s
    std::vector<std::vector<uint8_t>> packets(kPerTick, RtpPacket(33, true));
    std::vector<mmsghdr> messages(kPerTick);
    std::vector<iovec> vectors(kPerTick);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const int64_t tickNs = 1'000'000'000LL * kPerTick / rate;
    const int ticks = seconds * rate / kPerTick;
    sent = 0;
    for (int tick = 0; tick < ticks; ++tick) {
        for (int k = 0; k < kPerTick; ++k) {
            SetSequence(packets[size_t(k)], sent + uint32_t(k), true);
            vectors[size_t(k)] = {packets[size_t(k)].data(), packets[size_t(k)].size()};
            messages[size_t(k)] = {};
            messages[size_t(k)].msg_hdr.msg_name = &to;
            messages[size_t(k)].msg_hdr.msg_namelen = toLength;
            messages[size_t(k)].msg_hdr.msg_iov = &vectors[size_t(k)];
            messages[size_t(k)].msg_hdr.msg_iovlen = 1;
        }
        int done = 0;
        while (done < kPerTick) {
            const int n = sendmmsg(fd, messages.data() + done, unsigned(kPerTick - done), 0);
            if (n <= 0)
                break;
            done += n;
        }
        sent += uint32_t(done);
        next.tv_nsec += tickNs;
        while (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    close(fd);
    const CCpu after = Usage(RUSAGE_THREAD);
    usage = {after.user - before.user, after.system - before.system};
    return CpuNs(CLOCK_THREAD_CPUTIME_ID) - start;
}

// A free port on the loopback address; 0 when the family has none.
uint16_t FreePort(bool ipv6)
{
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    CLoopback a = Loopback(ipv6, 0);
    socklen_t length = ipv6 ? sizeof a.v6 : sizeof a.v4;
    const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), length) == 0;
    if (bound)
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    if (fd >= 0)
        close(fd);
    return !bound ? 0 : ntohs(ipv6 ? a.v6.sin6_port : a.v4.sin_port);
}

// The receive path at `rate` packets/s: returns false when the goal is missed.
bool MeasureReceivePath(int rate, int seconds, bool ipv6)
{
    const uint16_t port = FreePort(ipv6);
    if (port == 0) {
        std::printf("\nreceive path on the %s loopback: not measured, no such address here\n", ipv6 ? "IPv6" : "IPv4");
        return false;
    }
    CReceptionPlan plan = Plan(true);
    if (ipv6) {
        plan.media[0].address = "::1";
        plan.media[0].ipv6 = true;
        plan.media[0].group6 = *text::ParseIpv6("::1");
    } else {
        plan.media[0].address = "127.0.0.1";
        plan.media[0].group = htonl(INADDR_LOOPBACK);
    }
    plan.media[0].port = port;
    std::mutex mutex;
    CMediaFigures last;
    CReceiver receiver(CReceiverOptions{}, [&](const CSessionFigures& f) {
        std::lock_guard lock(mutex);
        last = f.media[0];
    });
    receiver.Watch(plan);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    uint32_t sent = 0;
    const int64_t processStart = CpuNs(CLOCK_PROCESS_CPUTIME_ID);
    const CCpu processBefore = Usage(RUSAGE_SELF);
    const auto wallStart = std::chrono::steady_clock::now();
    CCpu sender;
    const int64_t senderCpu = SendPaced(port, ipv6, rate, seconds, sent, sender);
    const CCpu processAfter = Usage(RUSAGE_SELF);
    const double receiverSystem = double(processAfter.system - processBefore.system - sender.system);
    const double receiverUser = double(processAfter.user - processBefore.user - sender.user);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    // Everything but the sender is the receiver: the main thread only waits.
    const int64_t receiverCpu = CpuNs(CLOCK_PROCESS_CPUTIME_ID) - processStart - senderCpu;
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    std::lock_guard lock(mutex);
    const double share = double(receiverCpu) / 1e9 / wall;
    const uint64_t lost = sent > last.packets ? sent - last.packets : 0;
    std::printf("\nreceive path, %d packets/s of %zu bytes on %sloopback for %.1f s:\n", rate, kPacketSize,
                ipv6 ? "IPv6 " : "", wall);
    std::printf("  sent %u, received %llu, lost %llu (kernel drops %llu), RTP lost %llu, continuity errors %llu\n",
                sent, (unsigned long long)last.packets, (unsigned long long)lost,
                (unsigned long long)last.kernelDrops, (unsigned long long)last.lost,
                (unsigned long long)last.continuityErrors);
    std::printf("  receiver CPU %.1f %% of one core, %.0f %% of it in the kernel (sender %.1f %%)\n", share * 100,
                receiverUser + receiverSystem > 0 ? 100 * receiverSystem / (receiverUser + receiverSystem) : 0.0,
                double(senderCpu) / 1e9 / wall * 100);
    const bool met = lost == 0 && last.kernelDrops == 0 && share < 0.10;
    std::printf("  goal (no loss, under 10 %% of one core): %s\n", met ? "met" : "MISSED");
    return met;
}

} // namespace

int main(int argc, char** argv)
{
    const int status = RunWithRatios(argc, argv,
        {{"BM_StatisticsPerPacket/0", "BM_CopyPacket", "statistics per RTP packet vs copying it"},
         {"BM_StatisticsPerPacket/1", "BM_CopyPacket", "statistics per RTP packet with 7 TS packets vs copying it"}});
    MeasureReceivePath(100000, 3, false);
    MeasureReceivePath(100000, 3, true);
    return status;
}
