#pragma once
// What a preview decoder is given and what it tells.
#include "preview/PreviewAnalysis.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace preview {

// One media entry as a decoder opens it.
struct CPreviewSource {
    int mediaIndex = 0;
    std::string media;            // "video", "audio", ...
    std::string group;            // destination and port as announced, to name the stream
    uint16_t port = 0;
    std::string sdp;              // the session with this entry alone (RTP)
    std::string url;              // "udp://..." for MPEG-TS over raw UDP; else empty
    std::string interfaceAddress; // where groups are joined; empty: the system's choice
    CStreamFormat announced;
    std::string unusable;         // why it cannot be opened at all
};

struct CPreviewOptions {
    bool pictures = true;
    bool levels = true;
    // Decode every picture (black and freeze need it); else keyframes only.
    bool everyFrame = false;
    int thumbnailWidth = 320;
    double refreshSeconds = 10;
    int maxWidth = 3840;
    int maxHeight = 2160;
    double openSeconds = 10;   // opening and probing, at most
    double frameSeconds = 5;   // waiting for one packet, at most
    int64_t probeBytes = 1 << 20;
    double probeSeconds = 1.5;
};

struct CVideoSnapshot {
    bool present = false;
    CStreamFormat received;
    std::vector<std::string> differences;
    std::shared_ptr<const std::vector<uint8_t>> jpeg; // the newest thumbnail
    double pictureTime = 0;     // steady-clock seconds of the thumbnail
    long long pictures = 0;     // decoded since the start
    bool analysed = false;      // black and freeze are known (every picture decoded)
    bool black = false;
    bool frozen = false;
    double luma = 0;
};

struct CAudioSnapshot {
    bool present = false;
    CStreamFormat received;
    std::vector<std::string> differences;
    std::vector<double> peakDbfs; // per channel, the last tenth of a second
    std::vector<double> rmsDbfs;
    double momentaryLufs = kFloorDbfs;
    double shortTermLufs = kFloorDbfs;
    double truePeakDbtp = kFloorDbfs; // the highest since the start
    bool silent = false;
    long long windows = 0;
};

struct CPreviewSnapshot {
    std::string state = "waiting"; // "waiting" (for a decoder), "opening", "decoding", "failed"
    std::string message;           // why nothing (or not all) can be shown, in words
    CVideoSnapshot video;
    CAudioSnapshot audio;
};

// Steady-clock seconds, the time every decoder and the pool go by.
double SteadySeconds();

} // namespace preview
