#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What is watched for: each alarm has its rule in CAlarmEngine.
enum class EAlarm {
    StreamSilent,
    Loss,
    RedundancyLost,
    PayloadChanged,
    PictureBlack,
    PictureFrozen,
    AudioSilent,
    Loudness,
    SessionDeleted,
    SessionExpired,
    AnnouncementsStopped,
};
constexpr int kAlarmKinds = 11;

// "stream silent", "redundancy lost", ...: the names the log, the JSON and
// the metrics use.
const char* AlarmName(EAlarm alarm);
std::optional<EAlarm> AlarmFromName(std::string_view name);

enum class EAlarmEventKind {
    Raise,
    Clear,
    Acknowledge,
    Held, // the rule fired again within the flap hold: not raised, counted
};
const char* AlarmEventName(EAlarmEventKind kind); // "raise", "clear", "ack", "held"

// The figures an alarm was raised or cleared with.
struct CAlarmFigures {
    int64_t msSinceLastPacket = -1;
    double lossRate = 0;     // 0..1 over the loss window
    double bitRate = 0;      // bit/s over the last second
    std::optional<double> loudness; // LUFS
    std::string detail;      // a few words: "payload types 96, 97", "leg 1 silent"
};

struct CAlarmEvent {
    EAlarmEventKind kind = EAlarmEventKind::Raise;
    EAlarm alarm = EAlarm::StreamSilent;
    std::string session;     // the watch key
    int media = -1;          // media index; -1: the session as a whole
    int64_t timeMs = 0;      // milliseconds since the epoch
    uint64_t flaps = 0;      // raises held so far for this alarm
    CAlarmFigures figures;
};

bool operator==(const CAlarmEvent& a, const CAlarmEvent& b);

// The thresholds of the rules (the settings keep them).
struct CWatchThresholds {
    int64_t silentMs = 3000;            // no packet this long: stream silent
    double lossRatio = 0.001;           // loss over the window above this: loss
    int64_t lossWindowMs = 10000;       // for redundant pairs (single streams use reception's 10 s figure)
    int64_t payloadHoldMs = 10000;      // a changed payload type stays raised this long
    int announcementIntervals = 3;      // not heard for this many intervals: announcements stopped
    int64_t flapHoldMs = 60000;         // an alarm is raised at most once in this time
    double loudnessMin = -30;           // LUFS
    double loudnessMax = -16;
    // The rules fed by the decoded picture and sound, each may be off.
    bool black = true;
    bool frozen = true;
    bool audioSilent = true;
};

// What the picture and audio analysis says of one media entry; absent
// fields are not judged.
struct CMediaAnalysis {
    int mediaIndex = 0;
    std::optional<bool> black;
    std::optional<bool> frozen;
    std::optional<bool> audioSilent;
    std::optional<double> loudness; // LUFS, short term
};

// A JSON string literal of a byte text (as UTF-8, Latin-1 where not valid).
std::string JsonQuote(std::string_view text);
// One event as a JSON object on one line.
std::string AlarmEventJson(const CAlarmEvent& event, std::string_view sessionName = {});
// Milliseconds since the epoch as "2026-12-08T02:16:01.250Z".
std::string IsoTimeMs(int64_t ms);
