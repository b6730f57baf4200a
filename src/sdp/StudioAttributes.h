#pragma once
// What a studio stream (AES67, ST 2110, ST 2022-6) says about its clock and
// format in its attributes, read from a record without changing it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// One "a=source-filter" line (RFC 4570).
struct CSourceFilter {
    bool include = true;        // "incl"; false for "excl"
    std::string addressType;    // "IP4", "IP6" or "*"
    std::string destination;    // an address, a host name or "*"
    std::vector<std::string> sources;
};

// The value after "source-filter:"; nothing, and `problem` set when given,
// when it is not "incl|excl IN IP4|IP6|* DEST SOURCE...".
std::optional<CSourceFilter> ParseSourceFilter(std::string_view value, std::string* problem = nullptr);

// The media entries each "a=group:DUP" line of a session names (RFC 7104),
// by index, in the line's order; a line naming fewer than two entries, an
// identity twice or one no entry has is listed in `problems` instead.
std::vector<std::vector<int>> ReadDuplicateGroups(const CSDPObject& record, std::vector<std::string>* problems);

struct CStudioAttributes {
    std::optional<CReferenceClock> referenceClock;
    bool referenceClockOfMedia = false; // the entry gives its own "a=ts-refclk" lines
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

    // The source filters that apply to the entry (its own, else the session's).
    std::vector<CSourceFilter> sourceFilters;
    // The other entries of its "a=group:DUP" group, by index; empty when none.
    std::vector<int> duplicates;

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

// The reference clock in a few words: "39-A7-94-FF-FE-07-CB-D0, domain 37",
// "NTP 203.0.113.10"; empty when the entry names none.
std::string StudioClockText(const CStudioAttributes& a);
