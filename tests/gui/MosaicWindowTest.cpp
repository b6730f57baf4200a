#include "gui/MosaicWindow.h"
#include "support/GuiTestSupport.h"

#include <set>

namespace {
using MosaicWindowTest = CDesktopTest;

// Decodes nothing: each session's decode is a snapshot the test advances.
class CFakeFeed final : public CMosaicFeed {
public:
    int Decode(CSDPObject& session) override
    {
        active[++last] = &session;
        turns.insert(&session);
        most = std::max(most, active.size());
        shots[last][0].state = "decoding";
        return last;
    }
    void StopDecoding(int id) override { active.erase(id); }
    const std::map<int, preview::CPreviewSnapshot>* Snapshots(int id) const override { return &shots.at(id); }
    int Receive(CSDPObject&) override { return ++last; }
    void StopReceiving(int) override {}
    int ReceptionState(int) const override { return 0; }
    int MaxDecoders() const override { return 2; }
    // A picture for every session decoding now: their turns are over.
    void Deliver()
    {
        for (const auto& [id, session] : active) {
            shots[id][0].video.present = true;
            shots[id][0].video.pictureTime = preview::SteadySeconds();
        }
    }

    std::map<int, CSDPObject*> active;
    std::set<CSDPObject*> turns;
    std::map<int, std::map<int, preview::CPreviewSnapshot>> shots;
    size_t most = 0;
    int last = 0;
};
} // namespace

TEST_F(MosaicWindowTest, TilesFollowTheDirectoryTakeTurnsWithinTheBoundAndOpenWithEnter)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    CSessionStore& doc = app.Runtime().Doc();
    for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(doc.AddSession(CSDPObject::FromText("v=0\no=- " + std::to_string(i) + " 1 IN IP4 192.0.2.1\ns=Camera " +
                                                          std::to_string(i) + "\nc=IN IP4 239.1.1." + std::to_string(i) +
                                                          "/32\nt=0 0\nm=video 5004 RTP/AVP 96\n",
                                                      app.Runtime().Environment()),
                                 doc.MainList().At(0)),
                  1);
    auto owned = std::make_unique<CFakeFeed>();
    CFakeFeed& feed = *owned;
    CMosaicWindow mosaic(*window.ListView().model(), std::move(owned));
    std::shared_ptr<CSDPObject> opened;
    mosaic.onOpen = [&](const std::shared_ptr<CSDPObject>& record) { opened = record; };
    mosaic.resize(1200, 900); // every tile in view
    ShowActive(mosaic);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mosaic.Tiles().size() == 5; }));
    EXPECT_EQ(feed.active.size(), 2u);
    // Each delivered picture ends a turn; all five have one within three rounds, never more than two at once.
    for (int round = 0; round < 3; ++round) {
        feed.Deliver();
        mosaic.Tick();
    }
    EXPECT_EQ(feed.turns.size(), 5u);
    EXPECT_EQ(feed.most, 2u);

    ASSERT_EQ(mosaic.CurrentTile(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened, mosaic.Tiles()[1]->Record());

    // Another directory: its tiles, and the old ones no longer decoded.
    window.TreeView().setCurrentIndex(window.TreeView().model()->index(0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mosaic.Tiles().empty(); }));
    EXPECT_TRUE(feed.active.empty());
}
