// The walk skips records until something about them can change: second by
// second it must do exactly what looking at every record every time does.
// Also the cheap path for unchanged repeats.
#include "DocFixture.h"

#include "sap/EncryptionGroups.h"
#include "sap/SapCodec.h"

#include <tuple>

namespace {

// One store with its fakes; `skips` off makes it the reference.
struct CWorld : CStoreFakes {
    std::unique_ptr<CSessionStore> doc = std::make_unique<CSessionStore>(Ports());
    std::shared_ptr<CSDPObject> dir;

    explicit CWorld(bool skips)
    {
        doc->SetWalkSkips(skips);
        views.Attach(doc->MainList());
        dir = t.Parse("v=0\no=- 1 1 IN IP4 10.0.0.1\ns=Dir\nm=directory 9875 SAP/SDP 14\nc=IN IP4 224.2.127.254/127\n");
        dir->sessionType = kTypeScopeDirectory;
        doc->AddSession(dir, nullptr);
    }
    // As a directory socket hands it over: with the text's hash.
    int Hear(const std::string& text, bool own = false, bool autoStart = false)
    {
        auto r = t.Parse(text);
        r->sourceHash = sap::TextHash(text);
        r->own = own;
        r->startTools = autoStart;
        return doc->AddSession(r, dir);
    }
    // Everything the outside saw since the last call.
    std::string Take()
    {
        std::string out;
        for (const std::string& e : views.Take())
            out += e + "; ";
        for (const auto& s : net.sent)
            out += "sent " + std::to_string(s.Flags()) + " " + std::to_string(s.datagram.size()) + "; ";
        net.sent.clear();
        for (const std::string& s : tools.started)
            out += "tools " + s + "; ";
        tools.started.clear();
        return out;
    }
};

std::string Timed(const std::string& id, const std::string& t, const std::string& r = "", int ttl = 127, size_t pad = 0)
{
    std::string text = "v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=S" + id + "\n";
    if (pad)
        text += "i=" + std::string(pad, 'x') + "\n";
    text += "c=IN IP4 224.2.17.12/" + std::to_string(ttl) + "\nt=" + t + "\n";
    if (!r.empty())
        text += "r=" + r + "\n";
    return text + "m=audio 49170 RTP/AVP 0\n";
}

TEST(StoreWalk, SkippingWalkMatchesTheFullWalkSecondBySecond)
{
    CWorld fast(true), full(false);
    const int64_t t0 = 1700000000;
    auto ntp = [&](int64_t offset) { return NtpStop(t0 + offset); };
    // Mixed schedules: permanent, one-off, repeating with several offsets,
    // own sessions, Auto Start, bands that shift as sessions come and go.
    const std::vector<std::tuple<std::string, bool, bool>> sessions = {
        {Timed("100", "0 0"), false, false}, {Timed("101", ntp(500) + " " + ntp(1500)), false, false},
        {Timed("102", ntp(-100) + " " + ntp(4000), "600 60 0 200"), false, false},
        {Timed("103", ntp(50) + " 0", "900 120 0 30 450"), false, true},
        {Timed("104", ntp(-86400) + " 0", "3600 1800 0", 15), false, false},
        {Timed("105", "0 0", "", 15, 900), true, false}, {Timed("106", ntp(2000) + " " + ntp(2600)), true, false},
        {Timed("107", ntp(3000) + " 0", "700 100 0"), false, true},
        {Timed("108", ntp(-10) + " " + ntp(-5)), false, false},
        {Timed("109", ntp(100) + " " + ntp(6000), "1000 0 0 999"), false, false},
    };
    for (CWorld* w : {&fast, &full})
        for (const auto& [text, own, autoStart] : sessions)
            w->Hear(text, own, autoStart);
    ASSERT_EQ(fast.Take(), full.Take());

    for (int second = 1; second <= 9000; ++second) {
        for (CWorld* w : {&fast, &full}) {
            // The clock is set back once.
            w->t.clock.Set(t0 + second - (second == 4321 ? 600 : 0));
            if (second % 170 == 0)
                w->Hear(Timed("101", ntp(500) + " " + ntp(1500))); // unchanged
            if (second % 450 == 0)
                w->Hear(Timed("102", ntp(-100) + " " + ntp(4000 + second), "600 60 0 200")); // changed
            if (second % 1300 == 0) // new sessions move the bands (and intervals)
                for (int i = 0; i < 30; ++i)
                    w->Hear(Timed(std::to_string(1000 + second + i), "0 0", "", 127, 2000));
            // Many large sessions make long intervals; most of them leave
            // again, so the intervals of the rest shrink.
            for (int i = 0; second == 100 && i < 60; ++i)
                w->Hear(Timed("b" + std::to_string(i), "0 0", "", 127, 2000));
            for (int i = 0; second == 2000 && i < 50; ++i) {
                auto gone = w->t.Parse(Timed("b" + std::to_string(i), "0 0"));
                gone->parentDirectory = w->dir;
                w->doc->RemoveSession(gone);
            }
            const CSessionList& list = w->doc->ListOf(w->dir);
            if (second == 5000)
                list.FindById("4900")->lastHeard -= 40000; // heard at 3900
            if (second == 6000)
                list.FindById("102")->startTools = 1;
            w->doc->CheckSessions();
        }
        ASSERT_EQ(fast.Take(), full.Take()) << "second " << second;
        ASSERT_EQ(fast.dir->links->children->Size(), full.dir->links->children->Size()) << "second " << second;
    }
    // Expiry by end, time-out and a moved last-heard time all happened.
    for (const char* gone : {"101", "108", "4900"})
        EXPECT_EQ(fast.dir->links->children->FindById(gone), nullptr) << gone;
}

TEST(StoreWalk, UnchangedRepeatOnlyRenewsTheLastHeardTime)
{
    CWorld w(true);
    const std::string text = Timed("7", "0 0");
    ASSERT_EQ(w.Hear(text), 1);
    auto stored = w.dir->links->children->FindById("7");
    stored->media[0].extras.Edit().toolChoice = "chosen";
    w.Take();

    w.t.clock.Advance(60);
    const uint64_t hash = sap::TextHash(text);
    EXPECT_TRUE(w.doc->RefreshRepeat(text, hash, w.dir));
    EXPECT_EQ(stored->lastHeard, w.t.clock.Now());
    // Unknown texts, other ids, texts without an id and other directories take the long way.
    const std::string changed = Timed("7", "0 1");
    for (const std::string& other : {changed, Timed("8", "0 0"), std::string("v=0\ns=No origin\n")})
        EXPECT_FALSE(w.doc->RefreshRepeat(other, sap::TextHash(other), w.dir)) << other;
    EXPECT_FALSE(w.doc->RefreshRepeat(text, hash, nullptr));
    EXPECT_EQ(w.Take(), "");

    // A changed text refreshes every field, and its hash is the one known now.
    w.t.clock.Advance(60);
    EXPECT_EQ(w.Hear(changed), 0);
    EXPECT_EQ(stored->times[0].stop + "|" + stored->media[0].extras->toolChoice, "1|chosen");
    EXPECT_FALSE(w.doc->RefreshRepeat(text, hash, w.dir));
    EXPECT_TRUE(w.doc->RefreshRepeat(changed, sap::TextHash(changed), w.dir));
}

TEST(StoreWalk, DecodingAKnownRepeatSkipsTheParser)
{
    CTestEnv t;
    CEncryptionGroups groups;
    const std::string text = Timed("9", "0 0");
    const std::string datagram = std::string("\x20\x00\x00\x00\x0a\x00\x00\x01", 8) + text;
    std::string seen;
    std::string origin;
    const CSapMessage known = DecodeSapDatagram(datagram, groups, t.env, [&](std::string_view s, uint64_t h, std::string_view o) {
        seen = s;
        origin = o;
        return h == sap::TextHash(text);
    });
    EXPECT_EQ(std::tie(seen, origin, known.action), std::tuple(text, "10.0.0.1", ESapAction::Announce));
    EXPECT_EQ(known.record, nullptr);
    const CSapMessage fresh = DecodeSapDatagram(datagram, groups, t.env, [](std::string_view, uint64_t, std::string_view) { return false; });
    ASSERT_NE(fresh.record, nullptr);
    EXPECT_EQ(std::tuple(fresh.record->sourceHash, fresh.record->announcedFrom),
              std::tuple(sap::TextHash(text), sap::OriginKey("10.0.0.1")));

}

} // namespace
