#pragma once
// Where a studio stream's description departs from the AES67 and ST 2110
// rules it plainly follows: warnings in words, each naming where the rule
// comes from. They never stop anything.
#include <string>
#include <vector>

class CSDPObject;
struct CSDPMedia;
struct CStudioAttributes;

struct CStudioRemark {
    std::string code; // "aes67-ptime", "st2110-10-mediaclk", ...
    std::string text;
};

// A studio stream is an RTP entry that names a PTP reference clock or a
// media clock, or whose format only studios use: L24, an ST 2110 or 2022-6
// format, a 2110 channel order. Other entries get no remarks.
bool IsStudioStream(const CSDPMedia& media, const CStudioAttributes& a);

// The ST 2110-30 conformance level a PCM stream needs ("A", "AX", "B",
// "BX", "C", "CX": the first that admits its rate, packet time and channel
// count); empty when none does.
std::string Level2110_30(int rate, double ptimeMs, int channels);

// The remarks on media entry `media` of `record` (read as `a`).
std::vector<CStudioRemark> StudioRemarks(const CSDPObject& record, const CSDPMedia& media, const CStudioAttributes& a);
