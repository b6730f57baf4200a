// The Reception page of a session's property sheet and the session list's
// Reception column, offscreen, fed by real RTP datagrams on the loopback
// interface.
#include "gui/SessionPropertySheet.h"
#include "gui/ReceptionColumn.h"
#include "gui/PreviewView.h"
#include "gui/ReceptionPage.h"
#include "preview/qt/PreviewService.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"
#include "reception/qt/ReceptionService.h"
#include "support/GuiTestSupport.h"

#include <QBuffer>
#include <QUdpSocket>

namespace {

QHostAddress Loopback(bool ipv6) { return ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost; }

// A free port on 127.0.0.1, or on ::1.
uint16_t FreePort(bool ipv6 = false)
{
    QUdpSocket socket;
    return socket.bind(Loopback(ipv6), 0) ? socket.localPort() : 0;
}

void SendRtp(uint16_t port, uint16_t first, int count, uint8_t payloadType, bool ipv6 = false)
{
    QUdpSocket socket;
    for (int i = 0; i < count; ++i) {
        const uint16_t s = uint16_t(first + i);
        const char p[172] = {char(0x80), char(payloadType), char(s >> 8), char(s), 0, 0, char(i >> 8), char(i), 0, 0, 0, 9};
        EXPECT_EQ(socket.writeDatagram(p, sizeof p, Loopback(ipv6), port), qint64(sizeof p));
    }
}

class ReceptionPageTest : public ::testing::Test {
protected:
    void SetUp() override { GuiApplication(); }
    CReceiverOptions Fast()
    {
        CReceiverOptions o;
        o.reportIntervalNs = 200'000'000;
        return o;
    }
    std::string Session(const std::string& media)
    {
        return "v=0\no=ann 77 1 IN IP4 127.0.0.1\ns=Loop\nc=IN IP4 127.0.0.1\nt=0 0\n" + media;
    }
    CPropertyContext Context(CReceptionService* service)
    {
        return CPropertyContext{t.clock, prompter, nullptr, nullptr, SearchExecutable, nullptr, {}, service};
    }
    static QString Label(const QWidget& box, const char* name)
    {
        auto* label = box.findChild<QLabel*>(name);
        return label && label->isVisibleTo(&box) ? label->text() : QString();
    }
    // Brings the sheet's last page to the front with the keyboard alone.
    static void ToLastPage(CSessionPropertySheet& sheet)
    {
        ShowActive(sheet);
        for (int i = 0; i < sheet.Pages().count() && sheet.Pages().currentIndex() != sheet.Pages().count() - 1; ++i)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &sheet, Qt::Key_Tab,
                            Qt::ControlModifier);
        ASSERT_EQ(sheet.Pages().currentIndex(), sheet.Pages().count() - 1);
    }

    CTestEnv t;
    CFakePrompter prompter;
};

} // namespace

TEST_F(ReceptionPageTest, OnlyHeardAndOwnSessionsWithAServiceHaveThePage)
{
    CReceptionService service(Fast());
    CPropertyContext with = Context(&service);
    const auto session = t.Parse(Session("m=audio 5004 RTP/AVP 0\n"));
    const auto folder = t.Parse("v=0\no=- 9 1 IN IP4 10.0.0.1\ns=Labs\nc=IN IP4 239.195.1.1/15\nt=0 0\n"
                                "m=directory 9875 SAP/SDP 14\n");
    const auto last = [](const CSessionPropertySheet& sheet) {
        return sheet.Pages().tabText(sheet.Pages().count() - 1) + "/" + sheet.PageIconOf(sheet.Pages().count() - 1);
    };
    auto sheet = CSessionPropertySheet::Create(session, with, ESheetKind::Session);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(last(*sheet), "Reception/media");
    // (Without the service: the property sheet's own page lists.)
    EXPECT_NE(last(*CSessionPropertySheet::Create(folder, with, ESheetKind::Session)), "Reception/media");
    EXPECT_NE(last(*CSessionPropertySheet::Create(folder, with, ESheetKind::Directory)), "Reception/media");
    // Nothing is watched before the page is shown.
    auto* page = qobject_cast<CReceptionPage*>(sheet->Pages().widget(sheet->Pages().count() - 1));
    ASSERT_TRUE(page && page->WatchId() == 0);
}

TEST_F(ReceptionPageTest, LiveFiguresPerMediaEntryAndTheWatchEndsWithTheSheet)
{
    CReceptionService service(Fast());
    CPropertyContext context = Context(&service);
    const uint16_t audio = FreePort(), video = FreePort(), six = FreePort(true);
    // The first audio entry and the last are a redundant pair on one socket.
    const auto record = t.Parse(Session("a=group:DUP a b\nm=audio " + std::to_string(audio) + " RTP/AVP 0\na=mid:a\n" +
                                        "m=video " + std::to_string(video) + " RTP/AVP 96\na=rtpmap:96 H264/90000\n" +
                                        "m=audio 5006 RTP/AVP 0\nc=IN IP6 ff0e::zz\n" +
                                        "m=audio " + std::to_string(six) + " RTP/AVP 0\nc=IN IP6 ::1\n" +
                                        "m=audio " + std::to_string(audio) + " RTP/AVP 0\na=mid:b\n"));
    auto sheet = CSessionPropertySheet::Create(record, context, ESheetKind::Session);
    ASSERT_TRUE(sheet);
    ToLastPage(*sheet);
    auto* page = qobject_cast<CReceptionPage*>(sheet->Pages().currentWidget());
    ASSERT_TRUE(page && page->WatchId() != 0);
    const int watch = page->WatchId();
    const QGroupBox* boxes[5];
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE((boxes[i] = page->findChild<QGroupBox*>(QString("media%1").arg(i)))) << i;
    EXPECT_EQ(boxes[0]->title(), QString("Leg A: 1 audio  127.0.0.1/%1").arg(audio));
    const QGroupBox* pair = page->findChild<QGroupBox*>("pair0");
    ASSERT_TRUE(pair && boxes[0]->parent() == pair && boxes[4]->parent() == pair);

    // The sockets are open once the first figures are in.
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->Shown() != nullptr; }, 3000));
    EXPECT_EQ(Label(*boxes[0], "state"), "Silent");
    SendRtp(audio, 100, 50, 0);
    SendRtp(video, 7, 20, 97); // not the announced type
    SendRtp(six, 300, 30, 0, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(*boxes[0], "traffic").startsWith("50 packets"); }, 5000))
        << Label(*boxes[0], "traffic").toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(*boxes[1], "traffic").startsWith("20 packets"); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(*boxes[3], "traffic").startsWith("30 packets"); }, 5000))
        << Label(*boxes[3], "traffic").toStdString();
    // {box, label, how the text starts}; whole texts end in "$".
    const std::tuple<const QWidget*, const char*, QString> shown[] = {
        {boxes[0], "state", "Receiving$"},
        {boxes[0], "rtp", "RTP: 50 expected, 0 lost"},
        {pair, "merged", "Merged: 50 expected, 0 lost (0.00 %); leg B 0.00 ms after leg A"},
        {boxes[0], "timing", "Jitter "},
        {boxes[0], "senders", "From 127.0.0.1:"},
        {boxes[1], "state", "Impaired$"},
        {boxes[1], "payload", "Payload types 97 (announced 96): not as announced"},
        {boxes[2], "state", "Not watched (no IPv6 destination)$"},
        {boxes[2], "rtp", "$"},
        {boxes[3], "rtp", "RTP: 30 expected, 0 lost"},
        {boxes[3], "senders", "From [::1]:"},
    };
    for (const auto& [box, name, start] : shown) {
        const QString text = Label(*box, name);
        EXPECT_TRUE(start.endsWith('$') ? text + "$" == start : text.startsWith(start)) << name << ": " << text.toStdString();
    }
    const auto* plot = boxes[0]->findChild<CBitRatePlot*>("plot");
    ASSERT_NE(plot, nullptr);
    // The plot follows the whole seconds watched.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !plot->History().empty(); }, 3000));
    ASSERT_NE(page->Shown(), nullptr);
    EXPECT_EQ(page->Shown()->media[0].history, plot->History());

    sheet.reset();
    EXPECT_EQ(service.Latest(watch), nullptr);
}

TEST_F(ReceptionPageTest, PictureMarksAndMetersAreThePreviewServicesResult)
{
    CReceptionService service(Fast());
    CPreviewService previews(1);
    CPropertyContext context = Context(&service);
    context.preview = &previews;
    auto sheet = CSessionPropertySheet::Create(t.Parse(Session("m=video " + std::to_string(FreePort()) +
                                                               " RTP/AVP 96\na=rtpmap:96 H264/90000\nm=audio " +
                                                               std::to_string(FreePort()) + " RTP/AVP 97\n")),
                                               context, ESheetKind::Session);
    ASSERT_TRUE(sheet);
    ToLastPage(*sheet);
    // A known result: a green picture, black and frozen, and three channels' levels.
    QImage green(64, 36, QImage::Format_RGB32);
    green.fill(QColor(0, 200, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    ASSERT_TRUE(green.save(&buffer, "JPEG"));
    preview::CPreviewSnapshot video, audio;
    video.video = {.present = true, .jpeg = std::make_shared<std::vector<uint8_t>>(jpeg.begin(), jpeg.end()),
                   .pictureTime = preview::SteadySeconds(), .black = true, .frozen = true};
    audio.audio = {.present = true, .peakDbfs = {-6, -12, -20}, .rmsDbfs = {-9, -15, -23}, .windows = 1};
    // The page's watch is the service's first; what it shows is looked at before any decoder's turn.
    ASSERT_TRUE(previews.Take(1, 0, video) && previews.Take(1, 1, audio));
    for (int i = 0; i < 4; ++i) // the views' new heights, box by box
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const auto count = [&](const char* box, QRect area, bool (*is)(QColor)) {
        const QImage shown = sheet->findChild<QGroupBox*>(box)->findChild<CPreviewView*>()->grab().toImage();
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += shown.valid(x, y) && is(shown.pixelColor(x, y));
        return n;
    };
    // The picture, BLACK and FROZEN in red on the band at its foot, and a
    // meter per channel (three bars 10 px wide cross the meters' foot).
    EXPECT_GT(count("media0", {0, 0, 200, 150}, [](QColor c) { return c.green() > 150 && c.red() < 80; }), 25000);
    EXPECT_GT(count("media0", {0, 158, 160, 22}, [](QColor c) { return c.red() > 200 && c.green() < 150; }), 20);
    EXPECT_EQ(count("media1", {0, 90, 500, 1}, [](QColor c) { return c == QColor(40, 180, 70); }), 30);
}

namespace {
using ReceptionColumnTest = CDesktopTest;
} // namespace

TEST_F(ReceptionColumnTest, ShownColumnWatchesTheCurrentRowOnly)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    CSessionStore& doc = app.Runtime().Doc();
    const uint16_t ports[2] = {FreePort(), FreePort()};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(doc.AddSession(CSDPObject::FromText("v=0\no=- " + std::to_string(i + 1) +
                                                          " 1 IN IP4 127.0.0.1\ns=Session " + std::to_string(i + 1) +
                                                          "\nc=IN IP4 127.0.0.1\nt=0 0\nm=audio " +
                                                          std::to_string(ports[i]) + " RTP/AVP 0\n",
                                                      app.Runtime().Environment()),
                                 doc.MainList().At(0)),
                  1);
    QTreeView& list = window.ListView();
    CSessionListModel& model = window.SortedList().Source();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.HasPending() && list.model()->rowCount() == 2; }, 2000));
    const int column = CSessionListModel::kColumnReception;
    const auto cell = [&](int row) { return list.model()->index(row, column).data().toString(); };
    const auto watched = [&](CReceptionColumn* r) { return r->Watched() ? std::string(r->Watched()->name) : std::string("-"); };

    // Hidden at first, and nothing is watched with a row selected. The View
    // menu shows it.
    auto* reception = window.findChild<CReceptionColumn*>();
    ASSERT_TRUE(reception && list.header()->isSectionHidden(column));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(watched(reception), "-");
    EXPECT_TRUE(window.ViewMenu().actions().contains(reception->Action()));
    // Its width comes out of Info's, so the columns after Info keep their place.
    const auto info = [&] { return list.header()->sectionSize(listrules::kColumnInfo); };
    const int infoWidth = info(), typeAt = list.header()->sectionViewportPosition(listrules::kColumnType);
    reception->Action()->trigger();
    EXPECT_EQ(std::tuple(list.header()->isSectionHidden(column), info(), list.header()->sectionViewportPosition(listrules::kColumnType),
                         watched(reception)),
              std::tuple(false, infoWidth - list.header()->sectionSize(column), typeAt, "Session 1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cell(0).startsWith("silent"); }, 3000)) << cell(0).toStdString();
    SendRtp(ports[0], 1, 30, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cell(0).startsWith("receiving, "); }, 3000)) << cell(0).toStdString();
    EXPECT_EQ(list.model()->index(0, column).data(Qt::ForegroundRole).value<QColor>(), QColor(0x1B, 0x7F, 0x2A));
    EXPECT_EQ(cell(1), "");

    // Down: the next row is watched, the first one's cell empties.
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_TRUE(watched(reception) == "Session 2" && cell(0).isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(1).startsWith("silent"); }, 3000)) << cell(1).toStdString();

    // Hidden again: nothing is watched and no cell says anything.
    reception->Action()->trigger();
    EXPECT_EQ(std::tuple(list.header()->isSectionHidden(column), watched(reception), info(), cell(1)),
              std::tuple(true, "-", infoWidth, QString()));
    window.close();
}
