#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What one media entry's reception looks like at one moment: the figures a
// watcher is handed once a second.
enum class EReceptionState {
    Receiving,  // packets arrive, loss within bounds
    Impaired,   // loss above 1 % over the last 10 s, or a payload type not announced in that time
    Silent,     // no packet for 3 s (or none yet)
    NotWatched, // no socket: the group limit was reached or the socket failed
};

const char* ReceptionStateName(EReceptionState state); // "receiving", "impaired", ...

struct CPidFigures {
    uint16_t pid = 0;
    uint64_t packets = 0;
    uint64_t continuityErrors = 0;
};

struct CMediaFigures {
    int mediaIndex = 0;
    std::string media;         // "audio", "video", ...
    std::string group;         // destination address as written
    uint16_t port = 0;
    std::string mid;           // a=mid, when given
    EReceptionState state = EReceptionState::Silent;
    std::string note;          // why it is not watched

    uint64_t packets = 0;      // every datagram, malformed ones included
    uint64_t bytes = 0;        // UDP payload bytes
    uint64_t malformed = 0;    // short, wrong version, padding or header past the end
    uint64_t kernelDrops = 0;  // datagrams the socket's queue had no room for
    double bitRate1s = 0;      // bit/s over the last whole second
    double bitRate10s = 0;     // bit/s over the last 10 whole seconds (or those watched)
    std::vector<double> history; // bit/s of each of the last 60 s, oldest first
    int64_t msSinceLastPacket = -1; // -1: none yet
    std::vector<std::string> senders; // "address:port" ("[address]:port" for IPv6), first seen first

    bool rtp = false;
    uint64_t expected = 0;     // from the extended sequence numbers
    uint64_t received = 0;     // distinct sequence numbers (a copy is not received twice)
    uint64_t lost = 0;
    uint64_t duplicates = 0;
    uint64_t outOfOrder = 0;
    double lossRate10s = 0;    // 0..1
    std::optional<double> jitterMs; // unknown without a clock rate
    std::vector<uint32_t> ssrcs;
    uint64_t ssrcChanges = 0;
    std::vector<int> payloadTypes;   // seen
    std::vector<int> announcedTypes; // from the format list
    bool payloadMismatch = false;    // a type not announced came in the last 10 s

    // RTCP sent to the RTP port (RFC 5761), kept out of the RTP figures.
    uint64_t rtcpPackets = 0;
    uint64_t senderReports = 0;
    // Between the first and the latest sender report of the current source:
    // the packets the sender says it sent, and those received meanwhile.
    std::optional<uint64_t> reportedSent;
    uint64_t receivedBetweenReports = 0;

    bool transportStream = false;
    uint64_t tsPackets = 0;
    uint64_t continuityErrors = 0;
    std::vector<CPidFigures> pids;
};

// A redundant pair: two media entries carrying the same packets.
struct CDupFigures {
    int legA = 0;
    int legB = 0;
    bool aligned = true;    // false: the legs carry other numbers for the same packets; no merged figure
    uint64_t expected = 0;
    uint64_t received = 0;  // a packet counts when either leg brought it
    uint64_t lost = 0;
    std::optional<double> skewMs;    // leg B's arrival less leg A's, last measured
    std::optional<double> maxSkewMs; // the largest in size so far
};

struct CSessionFigures {
    int watchId = 0;
    std::vector<CMediaFigures> media;
    std::vector<CDupFigures> pairs;
};
