// Parses a text, writes the record, parses and writes again, and evaluates
// its schedule: nothing may crash, the written text must settle, and where no
// field is out of the writer's reach the first written text must already be
// the settled one.
#include "base/Clock.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// The parser keeps 999 bytes of a value; a longer written line reads back cut.
bool EveryValueFits(const std::string& text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const size_t lineEnd = end > pos && text[end - 1] == '\r' ? end - 1 : end;
        if (lineEnd - pos > 2 + 999)
            return false;
        pos = end + 1;
    }
    return true;
}

// Fields the writer cannot carry: a media TTL or count of 0 (left out and read
// back as the defaults), and a media connection line without an address
// while the session's connection has one (the media would inherit it).
bool WriterReachesEveryField(const CSDPObject& r)
{
    const bool sessionAddress = r.connectionAddress.find_first_not_of('/') != std::string::npos;
    for (const CSDPMedia& m : r.media) {
        if (m.address.empty()) {
            if (sessionAddress && !m.connectionAddress.empty())
                return false;
        } else if (m.ttl == 0 || m.addressCount == 0) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CManualClock clock(1800000000);
    static CScriptedRandom random{5};
    CSdpEnvironment env{clock, random, nullptr};

    auto first = CSDPObject::FromText(std::string_view(reinterpret_cast<const char*>(data), size), env);
    // Four rounds of writing and parsing again.
    std::shared_ptr<CSDPObject> records[4] = {first};
    std::string written[4];
    for (int i = 0; i < 4; ++i) {
        records[i]->WriteSdp(written[i]);
        if (i + 1 < 4)
            records[i + 1] = CSDPObject::FromText(written[i], env);
    }
    for (int i = 0; i + 1 < 4; ++i) {
        // A record whose every field the writer carries gives the settled text at once.
        if (EveryValueFits(written[i]) && WriterReachesEveryField(*records[i]) && written[i] != written[i + 1])
            __builtin_trap();
        if (records[i + 1]->media.size() != first->media.size() || records[i + 1]->times.size() != first->times.size())
            __builtin_trap();
    }
    // Anything else settles within two rounds (a TTL of 0 taken over from the
    // session's connection line needs both).
    if (written[2] != written[3])
        __builtin_trap();

    // The schedule of whatever came in: any time texts, any intervals.
    const int64_t now = clock.Now();
    const int64_t next = NextStart(*first, now);
    for (int period = kPeriodNow; period <= kPeriodThisMonth; ++period)
        (void)IsInPeriod(*first, period, now, clock);
    const CScheduleDescription description = DescribeSchedule(*first, now, clock);
    if (first->times.empty() && (next != 0 || description.active))
        __builtin_trap();
    return 0;
}
