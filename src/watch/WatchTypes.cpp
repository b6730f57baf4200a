#include "watch/WatchTypes.h"

#include "base/Text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {
constexpr const char* kAlarmNames[kAlarmKinds] = {
    "stream silent",    "loss",           "redundancy lost", "payload changed", "picture black",        "picture frozen",
    "audio silent",     "loudness",       "session deleted", "session expired", "announcements stopped",
};

std::string Number(double value)
{
    if (!std::isfinite(value))
        return "null";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return buffer;
}
} // namespace

const char* AlarmName(EAlarm alarm)
{
    const int i = int(alarm);
    return i >= 0 && i < kAlarmKinds ? kAlarmNames[i] : "unknown";
}

std::optional<EAlarm> AlarmFromName(std::string_view name)
{
    for (int i = 0; i < kAlarmKinds; ++i)
        if (name == kAlarmNames[i])
            return EAlarm(i);
    return std::nullopt;
}

const char* AlarmEventName(EAlarmEventKind kind)
{
    switch (kind) {
    case EAlarmEventKind::Raise: return "raise";
    case EAlarmEventKind::Clear: return "clear";
    case EAlarmEventKind::Acknowledge: return "ack";
    case EAlarmEventKind::Held: return "held";
    }
    return "unknown";
}

bool operator==(const CAlarmEvent& a, const CAlarmEvent& b)
{
    return a.kind == b.kind && a.alarm == b.alarm && a.session == b.session && a.media == b.media
        && a.timeMs == b.timeMs && a.flaps == b.flaps;
}

std::string JsonQuote(std::string_view raw)
{
    const std::string text = text::AsUtf8(raw);
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string IsoTimeMs(int64_t ms)
{
    const time_t seconds = time_t(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, int(ms % 1000));
    return buffer;
}

std::string AlarmEventJson(const CAlarmEvent& e, std::string_view sessionName)
{
    std::string out = "{\"event\":" + JsonQuote(AlarmEventName(e.kind)) + ",\"alarm\":" + JsonQuote(AlarmName(e.alarm))
        + ",\"session\":" + JsonQuote(e.session);
    if (!sessionName.empty())
        out += ",\"name\":" + JsonQuote(sessionName);
    out += ",\"media\":" + std::to_string(e.media) + ",\"time\":" + JsonQuote(IsoTimeMs(e.timeMs))
        + ",\"time_ms\":" + std::to_string(e.timeMs) + ",\"flaps\":" + std::to_string(e.flaps) + ",\"figures\":{";
    const CAlarmFigures& f = e.figures;
    out += "\"ms_since_last_packet\":" + std::to_string(f.msSinceLastPacket) + ",\"loss_rate\":" + Number(f.lossRate)
        + ",\"bit_rate\":" + Number(f.bitRate);
    if (f.loudness)
        out += ",\"loudness\":" + Number(*f.loudness);
    if (!f.detail.empty())
        out += ",\"detail\":" + JsonQuote(f.detail);
    return out + "}}";
}
