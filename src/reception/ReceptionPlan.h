#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/Text.h"

class CSDPObject;

// What the statistics of one media entry need to know from its description.
struct CMediaTarget {
    int mediaIndex = 0;
    std::string media;            // "audio", "video", ...
    std::string address;          // destination as written
    uint32_t group = 0;           // network byte order; 0 when not an IPv4 address
    bool ipv6 = false;            // an IP6 connection: group6 and sources6 apply
    text::CIpv6Address group6{};
    uint16_t port = 0;
    std::vector<uint32_t> sources; // a=source-filter: incl (network byte order); empty = any source
    std::vector<text::CIpv6Address> sources6; // the same for an IPv6 destination
    bool rtp = false;             // "RTP/..." transport; else raw UDP
    std::vector<int> announcedTypes;
    // Clock rate (Hz) of each payload type 0..127 the description gives
    // (rtpmap, else the static table); 0 where unknown.
    std::vector<uint32_t> clockRates = std::vector<uint32_t>(128, 0);
    std::vector<bool> transportStream = std::vector<bool>(128, false); // MP2T payload types
    std::string mid;
    std::string unusable;         // why it cannot be watched (no port, no address, ...)
};

// Two media entries of an a=group:DUP line.
struct CDupPair {
    int legA = 0;
    int legB = 0;
};

struct CReceptionPlan {
    std::vector<CMediaTarget> media;
    std::vector<CDupPair> pairs;
};

// The media of a session as the receiver watches them.
CReceptionPlan PlanReception(const CSDPObject& session);

// Clock rate of an "rtpmap:PT NAME/RATE[/...]" attribute value for `payload`, 0 when absent.
uint32_t RtpmapClockRate(std::string_view attribute, int payload);
