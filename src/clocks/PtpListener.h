#pragma once
// Listens for PTP Announce messages on the general port (320) of the
// all-PTP-nodes groups, 224.0.1.129 and ff0e::181, on a worker thread, and
// keeps the table of grandmasters heard.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clocks/GrandmasterTable.h"

class Clock;

struct CPtpListenerOptions {
    // The interface to join 224.0.1.129 on (network byte order); 0: the system's choice.
    uint32_t interfaceAddress = 0;
    // The interface to join ff0e::181 on (its index); 0: no IPv6.
    unsigned interfaceIndex6 = 0;
    uint16_t port = 320;
};

class CPtpListener {
public:
    // A grandmaster announces at least every 2 s in the common profiles:
    // after this long, one not heard is taken as not there.
    static constexpr int64_t kSettleSeconds = 5;

    // Opens the sockets at once; `clock` is read on the worker thread.
    CPtpListener(const CPtpListenerOptions& options, const Clock& clock);
    ~CPtpListener();
    CPtpListener(const CPtpListener&) = delete;
    CPtpListener& operator=(const CPtpListener&) = delete;

    // Whether a socket is open; when none is, Problem() says why, in words
    // fit for the user ("clocks cannot be heard: ...").
    bool Open() const { return !m_fds.empty(); }
    const std::string& Problem() const { return m_problem; }
    // Open, and for long enough that a grandmaster not heard is not there.
    bool Settled(int64_t now) const { return Open() && now - m_started >= kSettleSeconds; }
    // The grandmasters heard and not expired at `now`.
    std::vector<CHeardGrandmaster> Grandmasters(int64_t now);
    // Datagrams read, and how many of them were not an Announce we read.
    uint64_t Datagrams() const { return m_datagrams.load(); }
    uint64_t Rejected() const { return m_rejected.load(); }

private:
    int OpenIpv4(std::string& error);
    int OpenIpv6(std::string& error);
    void Run();
    void Drain(int fd);

    CPtpListenerOptions m_options;
    const Clock& m_clock;
    std::vector<int> m_fds;
    std::string m_problem;
    int64_t m_started = 0;
    int m_wakeFd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_datagrams{0};
    std::atomic<uint64_t> m_rejected{0};
    std::mutex m_mutex;
    CGrandmasterTable m_table;
    std::thread m_thread;
};
