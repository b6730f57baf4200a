#pragma once
// What a studio stream (AES67, ST 2110, ST 2022-6) says about its clock and
// format in its attributes, read from a record without changing it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CSDPObject;
struct CSDPMedia;

// A PTP reference from "a=ts-refclk:ptp=...".
struct CPtpReference {
    std::string version;    // as written: "IEEE1588-2008", "IEEE802.1AS-2011", ...
    std::string gmid;       // grandmaster identity as written, upper case; empty when traceable
    bool traceable = false;
    std::optional<int> domain;  // domain number
    std::string domainName;     // IEEE1588-2002 domain name
};

// The first well-formed "a=ts-refclk" line.
struct CReferenceClock {
    std::string source;     // "ptp", "ntp", "localmac", "local", "private", "gps", "gal", "glonass"
    std::optional<CPtpReference> ptp;
    std::string value;      // what follows "=" for the others (NTP server, MAC address, ...)
};

// The first well-formed "a=mediaclk" line.
struct CMediaClock {
    std::string id;         // "id=" when given
    std::string mode;       // "direct", "sender" or "IEEE1722"
    std::optional<uint64_t> offset;  // direct
    std::string rate;       // direct's "rate=", as written
    std::string streamId;   // IEEE1722, upper case
};

struct CStudioAttributes {
    std::optional<CReferenceClock> referenceClock;
    std::optional<CMediaClock> mediaClock;
    std::string clockDomain;            // "a=clock-domain" as written
    std::optional<double> ptimeMs;
    std::optional<double> maxptimeMs;
    std::optional<int> framecount;

    // The first format's "a=rtpmap" (or its static payload type).
    std::string encoding;
    int rate = 0;
    int channels = 0;

    // Its "a=fmtp" parameters that these streams define.
    std::string sampling;               // "YCbCr-4:2:2", ...
    int width = 0;
    int height = 0;
    std::string exactFrameRate;         // as written: "50", "60000/1001"
    std::string depth;                  // "10", "16f", ...
    std::string colorimetry;
    std::string packingMode;            // PM
    std::string ssn;                    // SSN
    std::string senderType;             // TP
    bool interlace = false;
    std::string channelOrder;           // "SMPTE2110.(ST,M)" as written

    // "2110-20", "2110-22", "2110-31", "2110-40", "2022-6", or empty.
    std::string standard;
    // Every malformed value, in words; none of them is guessed at.
    std::vector<std::string> problems;
};

// Reads media entry `media` of `record`; a media-level attribute hides the
// session's of the same name.
CStudioAttributes ReadStudioAttributes(const CSDPObject& record, const CSDPMedia& media);

// One line telling the entry's format: "L24 48 kHz, 8 ch, 125 µs",
// "1920×1080p50 YCbCr 4:2:2 10-bit, 2110-20 TPN" (UTF-8); empty when the
// entry names no format.
std::string StudioFormatText(const CStudioAttributes& a);
