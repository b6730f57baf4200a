#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "reception/ReceptionFigures.h"
#include "reception/ReceptionPlan.h"

struct CReceiverOptions {
    // Multicast groups joined at once, over all watches.
    size_t maxGroups = 8;
    // The interface to join on (network byte order); 0: the system's choice.
    uint32_t interfaceAddress = 0;
    // The interface to join IPv6 groups on (its index); 0: the system's choice.
    unsigned interfaceIndex6 = 0;
    // Datagrams read per system call.
    unsigned batch = 64;
    // Pause after a read so that the next one finds a full batch: the kernel
    // stamps each datagram on arrival, so waiting changes no figure.
    int64_t coalesceNs = 2'000'000;
    int64_t reportIntervalNs = 1'000'000'000;
    int receiveBuffer = 4 << 20;
};

// Receives the media of watched sessions on a worker thread (plain sockets,
// batched reads) and hands each watch's figures to `report` once a second,
// on that thread. A group is joined while some watch needs it and left
// when none does; media beyond the group limit are reported as not
// watched, and take a place as soon as one is free.
class CReceiver {
public:
    using Report = std::function<void(const CSessionFigures&)>;

    CReceiver(const CReceiverOptions& options, Report report);
    ~CReceiver();
    CReceiver(const CReceiver&) = delete;
    CReceiver& operator=(const CReceiver&) = delete;

    // Starts watching; the id comes back in every report of this watch.
    int Watch(const CReceptionPlan& plan);
    void Unwatch(int id);
    // How many groups are joined right now.
    size_t JoinedGroups() const { return m_joined.load(); }

private:
    struct CCommand {
        int id;
        bool add;
        CReceptionPlan plan;
    };
    class CWorker;

    void Run();
    void Wake();

    CReceiverOptions m_options;
    Report m_report;
    std::mutex m_mutex;
    std::vector<CCommand> m_commands;
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_joined{0};
    int m_nextId = 1;
    int m_wakeFd = -1;
    std::thread m_thread;
};
