#include "watch/AlarmEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CMediaIn {
    int index = 0;
    int64_t sinceMs = 0; // -1: nothing heard yet
    double loss = 0;
    std::vector<int> types = {96};
    bool mismatch = false;
    bool notWatched = false;
    uint64_t expected = 0, lost = 0; // totals
};

struct CStep {
    int64_t t;
    char what; // f figures, h heard, d deleted, x expired, t tick, a acknowledge all, r resumed after a pause
    std::vector<CMediaIn> media = {};
    std::vector<CDupFigures> pairs = {};
    int64_t intervalMs = 0;
    std::vector<CMediaAnalysis> analysis = {};
};

struct CCase {
    const char* name;
    std::vector<CStep> steps;
    std::vector<std::string> expected; // "TIME EVENT ALARM MEDIA FLAPS"
    CWatchThresholds thresholds = {};
};

CDupFigures Pair(uint64_t expected, uint64_t lost)
{
    CDupFigures p;
    p.legA = 0;
    p.legB = 1;
    p.expected = expected;
    p.lost = lost;
    return p;
}

CMediaAnalysis Loudness(double lufs)
{
    CMediaAnalysis a;
    a.loudness = lufs;
    return a;
}

CMediaAnalysis Black(bool black)
{
    CMediaAnalysis a;
    a.black = black;
    return a;
}

std::vector<std::string> Play(const std::vector<CStep>& steps, const CWatchThresholds& thresholds)
{
    CAlarmEngine engine(thresholds);
    std::vector<std::string> seen;
    for (const CStep& step : steps) {
        std::vector<CAlarmEvent> events;
        switch (step.what) {
        case 'f': {
            CSessionFigures figures;
            for (const CMediaIn& in : step.media) {
                CMediaFigures m;
                m.mediaIndex = in.index;
                m.rtp = true;
                m.state = in.notWatched ? EReceptionState::NotWatched : EReceptionState::Receiving;
                m.msSinceLastPacket = in.sinceMs;
                m.lossRate10s = in.loss;
                m.payloadTypes = in.types;
                m.payloadMismatch = in.mismatch;
                m.expected = in.expected;
                m.lost = in.lost;
                figures.media.push_back(m);
            }
            figures.pairs = step.pairs;
            events = engine.Figures("s", step.t, figures, step.analysis);
            break;
        }
        case 'h': events = engine.Heard("s", step.t, step.intervalMs); break;
        case 'd': events = engine.Deleted("s", step.t); break;
        case 'x': events = engine.Expired("s", step.t); break;
        case 't': events = engine.Tick(step.t); break;
        case 'a': events = engine.AcknowledgeAll(step.t); break;
        case 'r': engine.Resume("s"); break;
        }
        for (const CAlarmEvent& e : events)
            seen.push_back(std::to_string(e.timeMs) + ' ' + AlarmEventName(e.kind) + ' ' + AlarmName(e.alarm) + ' '
                           + std::to_string(e.media) + ' ' + std::to_string(e.flaps));
    }
    return seen;
}

TEST(AlarmEngine, TimedInputsGiveTheirEvents)
{
    const CMediaIn playing{0, 20};
    const CMediaIn quiet{0, 3000};
    const CCase cases[] = {
        {"silent after 3 s, cleared by a packet",
         {{0, 'f', {{0, 100}}}, {2000, 'f', {{0, 2999}}}, {3000, 'f', {quiet}}, {4000, 'f', {playing}}},
         {"3000 raise stream silent 0 0", "4000 clear stream silent 0 0"}},
        {"nothing heard since watching began",
         {{0, 'f', {{0, -1}}}, {2999, 'f', {{0, -1}}}, {3000, 'f', {{0, -1}}}},
         {"3000 raise stream silent 0 0"}},
        {"a silent stream resumed after its pause stays raised, neither cleared nor raised again",
         {{0, 'f', {quiet}}, {5000, 'r'}, {6000, 'f', {{0, -1}}}, {9000, 'f', {{0, -1}}}},
         {"0 raise stream silent 0 0"}},
        {"a media entry waiting for its turn is not judged",
         {{0, 'f', {{0, -1, 0.5, {96}, true, true}}}, {9000, 'f', {{0, -1, 0.5, {96}, true, true}}}},
         {}},
        {"loss above 0.1 % only",
         {{0, 'f', {{0, 20, 0.001}}}, {1000, 'f', {{0, 20, 0.0011}}}, {2000, 'f', {{0, 20, 0.0011}}},
          {3000, 'f', {playing}}},
         {"1000 raise loss 0 0", "3000 clear loss 0 0"}},
        {"a flapping alarm is held and counted, raised once its minute is over",
         {{0, 'f', {quiet}}, {1000, 'f', {playing}}, {2000, 'f', {quiet}}, {3000, 'f', {playing}},
          {4000, 'f', {quiet}}, {59999, 't'}, {60000, 't'}, {61000, 'f', {playing}}},
         {"0 raise stream silent 0 0", "1000 clear stream silent 0 0", "2000 held stream silent 0 1",
          "4000 held stream silent 0 2", "60000 raise stream silent 0 2", "61000 clear stream silent 0 2"}},
        {"one leg down is redundancy lost; both down is the stream silent",
         {{0, 'f', {playing, {1, 20}}, {Pair(0, 0)}},
          {1000, 'f', {playing, {1, 3500}}, {Pair(1000, 0)}},
          {2000, 'f', {{0, 3100}, {1, 4500}}, {Pair(1000, 0)}},
          {3000, 'f', {playing, {1, 20}}, {Pair(2000, 0)}}},
         {"1000 raise redundancy lost 0 0", "2000 clear redundancy lost 0 0", "2000 raise stream silent 0 0",
          "3000 clear stream silent 0 0"}},
        {"a leg's loss the other repairs is none; the merged loss counts",
         {{0, 'f', {playing, {1, 20, 0.05}}, {Pair(0, 0)}},
          {1000, 'f', {playing, {1, 20, 0.05}}, {Pair(1000, 0)}},
          {2000, 'f', {playing, {1, 20, 0.05}}, {Pair(2000, 3)}},
          {13000, 'f', {playing, {1, 20, 0.05}}, {Pair(13000, 3)}}},
         {"2000 raise loss 0 0", "13000 clear loss 0 0"}},
        {"a new payload type, or one not announced",
         {{0, 'f', {{0, 20, 0, {96}}}}, {1000, 'f', {{0, 20, 0, {96, 97}}}}, {10999, 'f', {{0, 20, 0, {96, 97}}}},
          {11000, 'f', {{0, 20, 0, {96, 97}}}}, {80000, 'f', {{0, 20, 0, {96, 97}, true}}}},
         {"1000 raise payload changed 0 0", "11000 clear payload changed 0 0", "80000 raise payload changed 0 0"}},
        {"announcements not heard for three intervals; heard again clears",
         {{0, 'h', {}, {}, 10000}, {30000, 't'}, {30001, 't'}, {31000, 'h'}},
         {"30001 raise announcements stopped -1 0", "31000 clear announcements stopped -1 0"}},
        {"deleted and expired sessions are not also stopped",
         {{0, 'h', {}, {}, 10000}, {5000, 'd'}, {90000, 't'}, {100000, 'h'}, {200000, 'x'}},
         {"5000 raise session deleted -1 0", "100000 clear session deleted -1 0", "200000 raise session expired -1 0"}},
        {"acknowledged once",
         {{0, 'f', {quiet}}, {1000, 'a'}, {2000, 'a'}, {3000, 'f', {playing}}},
         {"0 raise stream silent 0 0", "1000 ack stream silent 0 0", "3000 clear stream silent 0 0"}},
        {"picture and sound, fed by their analysis",
         {{0, 'f', {playing}, {}, 0, {Loudness(-40), Black(true)}},
          {1000, 'f', {playing}, {}, 0, {Loudness(-23), Black(false)}},
          {2000, 'f', {playing}, {}, 0, {Loudness(-10)}}},
         {"0 raise loudness 0 0", "0 raise picture black 0 0", "1000 clear loudness 0 0",
          "1000 clear picture black 0 0", "2000 held loudness 0 1"}},
        {"a picture no longer decoded clears; a rule switched off holds no more",
         {{0, 'f', {playing}, {}, 0, {Black(true), Loudness(-40)}}, {1000, 'f', {playing}},
          {2000, 'f', {playing}, {}, 0, {Black(true)}}},
         {"0 raise loudness 0 0", "1000 clear loudness 0 0"},
         {.black = false}},
        {"loss over a window of 2 s, counted from the totals",
         {{0, 'f', {{0, 20, 0, {96}, false, false, 1000, 0}}}, {1000, 'f', {{0, 20, 0, {96}, false, false, 2000, 5}}},
          {3000, 'f', {{0, 20, 0, {96}, false, false, 4000, 5}}}},
         {"1000 raise loss 0 0", "3000 clear loss 0 0"},
         {.lossWindowMs = 2000}},
    };
    for (const CCase& c : cases)
        EXPECT_EQ(Play(c.steps, c.thresholds), c.expected) << c.name;
}

} // namespace
