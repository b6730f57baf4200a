// The receive path under load: the program's own runtime (settings, the
// Qt socket of a directory, the store and the once-a-second walk, as
// `talmira-cli listen` runs them) hears a sender thread flood one directory
// on loopback with SAP announcements. For 20,000 and 100,000 distinct
// sessions: a first round of new sessions, then repeats of known ones at
// 2,000, 6,000 and 10,000 datagrams/s. Per run it prints what was sent and
// received, what was lost (the kernel's drop counter of the socket, and the
// difference of the counts), the longest stall of the event loop (a 5 ms
// timer's lateness) and the share of one CPU the receiving thread used. A
// run without traffic shows what the walk alone costs. Stalls are wall-clock
// figures: on a busy machine they include the time the thread waited for a
// processor.
//
// Usage: bench_load [--seconds S] [--sessions N[,N...]] [--rates R[,R...]]
#include "BenchSessions.h"

#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/Setup.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "base/SilentPrompter.h"
#include "directory/SessionStore.h"
#include "sap/SapCodec.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// ---------------------------------------------------------------------------
// Counting what the program reads: Qt reads a datagram with recvmsg (and
// peeks with MSG_PEEK first); the calls are counted on the load directory's
// socket, found by its port.
namespace {
std::atomic<int> g_loadPort{0};
std::atomic<long> g_received{0};
std::atomic<int> g_loadFd{-1};

void CountRead(int fd, ssize_t result, int flags)
{
    if (result < 0 || (flags & MSG_PEEK) || g_loadPort.load() == 0)
        return;
    if (fd != g_loadFd.load()) {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0 || local.sin_family != AF_INET
            || ntohs(local.sin_port) != g_loadPort.load())
            return;
        g_loadFd = fd;
    }
    ++g_received;
}

template <class F>
F Next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" ssize_t recvmsg(int fd, msghdr* message, int flags)
{
    static const auto real = Next<ssize_t (*)(int, msghdr*, int)>("recvmsg");
    const ssize_t result = real(fd, message, flags);
    CountRead(fd, result, flags);
    return result;
}

extern "C" ssize_t recvfrom(int fd, void* buffer, size_t size, int flags, sockaddr* from, socklen_t* fromSize)
{
    static const auto real = Next<ssize_t (*)(int, void*, size_t, int, sockaddr*, socklen_t*)>("recvfrom");
    const ssize_t result = real(fd, buffer, size, flags, from, fromSize);
    CountRead(fd, result, flags);
    return result;
}

namespace {

class CNoExit final : public ProgramExit {
public:
    void Exit(int) override {}
};

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The kernel's counters of the sockets bound to `port`: datagrams dropped
// because the receive queue was full (the figure SO_RXQ_OVFL reports), and
// the bytes still queued.
struct CUdpCounters {
    long drops = 0;
    long queued = 0;
};

CUdpCounters ReadUdpCounters(int port)
{
    CUdpCounters c;
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line); // heading
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode, refs, pointer;
        long drops = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode
                     >> refs >> pointer >> drops))
            continue;
        if (!local.ends_with(wanted))
            continue;
        c.drops += drops;
        c.queued += std::strtol(queues.substr(queues.find(':') + 1).c_str(), nullptr, 16);
    }
    return c;
}

// A typical announcement, about 600 bytes, as a SAP datagram.
std::string Datagram(long id, bool deletion = false)
{
    std::string d = {deletion ? '\x24' : '\x20', 0, 0, 0, 127, 0, 0, 1};
    d += TypicalSdp(id);
    return d;
}

// A plain socket aimed at the load directory: its group through the
// loopback interface (TTL 0: it never leaves the host), or its port on
// 127.0.0.1 when multicast on loopback does not reach it.
class CSender {
public:
    CSender(in_addr_t group, int port) : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        const in_addr loopback{htonl(INADDR_LOOPBACK)};
        const unsigned char ttl = 0, loop = 1;
        ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
        ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
        const int buffer = 4 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(static_cast<uint16_t>(port));
        m_to.sin_addr.s_addr = group;
    }
    ~CSender() { ::close(m_fd); }
    void UseUnicast() { m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK); }
    bool Send(const std::string& d)
    {
        return ::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to)
               == static_cast<ssize_t>(d.size());
    }

private:
    int m_fd;
    sockaddr_in m_to{};
};

// How late a 5 ms timer fires: the longest time the event loop could not
// turn (a walk, a burst of datagrams), and the processor time the thread
// used in that gap: near the stall, it was working; near zero, it waited
// for a processor.
class CStallProbe {
public:
    static constexpr double kInterval = 0.005;
    CStallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(static_cast<int>(kInterval * 1000));
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = Seconds(), cpu = ThreadCpuSeconds();
            if (now - m_last - kInterval > longest) {
                longest = now - m_last - kInterval;
                longestCpu = cpu - m_lastCpu;
            }
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void Start()
    {
        m_last = Seconds();
        m_lastCpu = ThreadCpuSeconds();
        longest = longestCpu = 0;
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    double longest = 0, longestCpu = 0;

private:
    QTimer m_timer;
    double m_last = 0, m_lastCpu = 0;
};

struct CRun {
    const char* what;
    long sessions;
    int rate;
    long sent = 0, received = 0, drops = 0;
    double stall = 0, stallCpu = 0, cpu = 0;
    size_t stored = 0;
};

// The program's runtime on a set-up install directory, with one more
// directory (a scope directory of its own group and port) to flood.
class CTarget {
public:
    CTarget(in_addr_t group, int port)
        : m_runtime({m_prompter, m_exit, nullptr})
    {
        if (!m_runtime.Start(CCommandLine{}))
            return;
        char address[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &group, address, sizeof address);
        m_directory = CSDPObject::FromText("v=0\no=- 77001 1 IN IP4 127.0.0.1\ns=Load\nm=directory " + std::to_string(port)
                                               + " SAP/SDP 14\nc=IN IP4 " + address + "/1\n",
                                           m_runtime.Environment());
        m_directory->sessionType = kTypeScopeDirectory;
        m_runtime.Doc().AddSession(m_directory, nullptr);
        m_runtime.StartWalk();
        m_ok = m_directory->links->children != nullptr;
    }
    bool ok() const { return m_ok; }
    size_t Stored() const { return m_directory->links->children ? m_directory->links->children->Size() : 0; }

private:
    CSilentPrompter m_prompter;
    CNoExit m_exit;
    CTalmiraRuntime m_runtime;
    std::shared_ptr<CSDPObject> m_directory;
    bool m_ok = false;
};

// Keeps the event loop running for `seconds`.
void RunEventLoop(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Sends `count` datagrams at `rate` per second, cycling through the
// sessions from `next`, while the event loop runs; waits for the receive
// queue to drain.
CRun Flood(CTarget& target, CSender& sender, const std::vector<std::string>& datagrams, long& next, long count,
           int rate, const char* what)
{
    const int port = g_loadPort.load();
    CRun run{what, static_cast<long>(datagrams.size()), rate};
    const long received0 = g_received.load();
    const long drops0 = ReadUdpCounters(port).drops;
    std::atomic<bool> done{false};
    std::atomic<long> sent{0};
    const long first = next;
    CStallProbe probe;
    probe.Start();
    const double cpu0 = ThreadCpuSeconds(), wall0 = Seconds();
    std::thread flood([&] {
        const double start = Seconds();
        long i = 0;
        while (i < count) {
            const long due = std::min(count, static_cast<long>((Seconds() - start) * rate) + 1);
            for (; i < due; ++i)
                sent += sender.Send(datagrams[static_cast<size_t>((first + i) % run.sessions)]) ? 1 : 0;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    double doneAt = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!done)
            return;
        if (doneAt == 0)
            doneAt = Seconds();
        const CUdpCounters c = ReadUdpCounters(port);
        const bool drained = g_received.load() - received0 + c.drops - drops0 >= sent.load();
        if ((drained && c.queued == 0) || Seconds() - doneAt > 5)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    flood.join();
    run.cpu = (ThreadCpuSeconds() - cpu0) / (Seconds() - wall0);
    probe.Stop();
    run.stall = probe.longest;
    run.stallCpu = probe.longestCpu;
    run.sent = sent.load();
    run.received = g_received.load() - received0;
    run.drops = ReadUdpCounters(port).drops - drops0;
    run.stored = target.Stored();
    next = (first + count) % run.sessions;
    return run;
}

// No traffic: what the walk alone (and the machine) costs the event loop.
CRun Idle(CTarget& target, long sessions, double seconds)
{
    CRun run{"walk only", sessions, 0};
    CStallProbe probe;
    probe.Start();
    const double cpu0 = ThreadCpuSeconds(), wall0 = Seconds();
    RunEventLoop(seconds);
    run.cpu = (ThreadCpuSeconds() - cpu0) / (Seconds() - wall0);
    probe.Stop();
    run.stall = probe.longest;
    run.stallCpu = probe.longestCpu;
    run.stored = target.Stored();
    return run;
}

void PrintHeading()
{
    std::printf("%-12s %8s %7s %8s %9s %7s %7s %7s %9s %9s %6s %8s\n", "run", "sessions", "rate/s", "sent", "received",
                "lost", "drops", "loss %", "stall ms", "(CPU ms)", "CPU %", "stored");
}

void Print(const CRun& r)
{
    const long lost = r.sent - r.received;
    std::printf("%-12s %8ld %7d %8ld %9ld %7ld %7ld %7.2f %9.1f %9.1f %6.1f %8zu\n", r.what, r.sessions, r.rate, r.sent,
                r.received, lost, r.drops, r.sent ? 100.0 * static_cast<double>(lost) / static_cast<double>(r.sent) : 0.0,
                r.stall * 1000, r.stallCpu * 1000, r.cpu * 100, r.stored);
    std::fflush(stdout);
}

std::vector<long> NumberList(const char* text)
{
    std::vector<long> out;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');)
        if (const long n = std::atol(part.c_str()); n > 0)
            out.push_back(n);
    return out;
}

// A port nobody uses now, for the load directory.
int FreePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

// Sets up a private settings file and install directory with the loopback
// interface for the directories, as `talmira-cli setup` would.
bool SetUp(const QTemporaryDir& dir)
{
    const std::string settings = dir.filePath("Talmira.ini").toStdString();
    qputenv("TALMIRA_SETTINGS", QByteArray::fromStdString(settings));
    auto store = OpenSettingsStore(settings);
    const CSetupResult setup = RunSetup(*store, dir.filePath("install").toStdString());
    if (!setup.ok) {
        std::fprintf(stderr, "bench_load: setup failed: %s\n", setup.error.c_str());
        return false;
    }
    return store->CreateKey("Talmira/Interface") && store->WriteText("Talmira/Interface", "address", "127.0.0.1");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 3;
    std::vector<long> sessionCounts{20000, 100000};
    std::vector<long> rates{2000, 6000, 10000};
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--seconds")
            seconds = std::max(0.5, std::atof(argv[++i]));
        else if (a == "--sessions")
            sessionCounts = NumberList(argv[++i]);
        else if (a == "--rates")
            rates = NumberList(argv[++i]);
    }
    QTemporaryDir dir;
    if (!dir.isValid() || !SetUp(dir))
        return 1;
    const int port = FreePort();
    // A group of the organisation-local scope that no directory of ours uses.
    const in_addr_t group = htonl((239u << 24) | (255u << 16) | (static_cast<uint32_t>(::getpid()) & 0xffff));
    g_loadPort = port;
    CSender sender(group, port);
    bool announced = false;
    for (const long sessions : sessionCounts) {
        std::vector<std::string> datagrams;
        datagrams.reserve(static_cast<size_t>(sessions));
        for (long id = 0; id < sessions; ++id)
            datagrams.push_back(Datagram(id));
        g_loadFd = -1;
        CTarget target(group, port);
        if (!target.ok()) {
            std::fprintf(stderr, "bench_load: the runtime did not start\n");
            return 1;
        }
        if (!announced) {
            // Multicast on loopback when it reaches the socket, else unicast.
            const long before = g_received.load();
            sender.Send(Datagram(-1, true));
            RunEventLoop(0.3);
            const bool multicast = g_received.load() > before;
            if (!multicast)
                sender.UseUnicast();
            int buffer = 0;
            socklen_t size = sizeof buffer;
            if (g_loadFd.load() >= 0)
                ::getsockopt(g_loadFd.load(), SOL_SOCKET, SO_RCVBUF, &buffer, &size);
            double load[3] = {};
            ::getloadavg(load, 3);
            std::printf("load directory on %s port %d (%s), receive buffer %d bytes; %.1f s per run of repeats; "
                        "machine load %.1f on %u CPUs\n",
                        multicast ? "its group via loopback" : "127.0.0.1", port,
                        multicast ? "multicast" : "unicast: multicast on loopback did not arrive", buffer, seconds,
                        load[0], std::thread::hardware_concurrency());
            PrintHeading();
            announced = true;
        }
        long next = 0;
        Print(Flood(target, sender, datagrams, next, sessions, static_cast<int>(rates.back()), "first round"));
        Print(Idle(target, sessions, seconds));
        for (const long rate : rates)
            Print(Flood(target, sender, datagrams, next, static_cast<long>(static_cast<double>(rate) * seconds),
                        static_cast<int>(rate), "repeats"));
    }
    return 0;
}
