// The Reception page of a session's property sheet and the session list's
// Reception column, offscreen, fed by real RTP datagrams on the loopback
// interface.
#include "directory/SessionStore.h"
#include "gui/SessionPropertySheet.h"
#include "gui/ReceptionColumn.h"
#include "gui/ReceptionPage.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"
#include "reception/qt/ReceptionService.h"
#include "support/GuiTestSupport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// 127.0.0.1 or ::1 with `port`, and its length.
std::pair<sockaddr_storage, socklen_t> Loopback(bool ipv6, uint16_t port)
{
    sockaddr_storage s{};
    if (ipv6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(s);
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        a.sin6_addr = in6addr_loopback;
        return {s, sizeof a};
    }
    auto& a = reinterpret_cast<sockaddr_in&>(s);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return {s, sizeof a};
}

// A free port on 127.0.0.1, or on ::1.
uint16_t FreePort(bool ipv6 = false)
{
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    auto [address, length] = Loopback(ipv6, 0);
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                      : reinterpret_cast<sockaddr_in&>(address).sin_port);
}

void SendRtp(uint16_t port, uint16_t first, int count, uint8_t payloadType, bool ipv6 = false)
{
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    const auto [to, length] = Loopback(ipv6, port);
    for (int i = 0; i < count; ++i) {
        const uint16_t s = uint16_t(first + i);
        uint8_t p[172] = {0x80, payloadType, uint8_t(s >> 8), uint8_t(s), 0, 0, uint8_t(i >> 8), uint8_t(i), 0, 0, 0, 9};
        sendto(fd, p, sizeof p, 0, reinterpret_cast<const sockaddr*>(&to), length);
    }
    close(fd);
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
    CPropertyContext without = Context(nullptr);
    const auto session = t.Parse(Session("m=audio 5004 RTP/AVP 0\n"));
    const auto folder = t.Parse("v=0\no=- 9 1 IN IP4 10.0.0.1\ns=Labs\nc=IN IP4 239.195.1.1/15\nt=0 0\n"
                                "m=directory 9875 SAP/SDP 14\n");
    auto sheet = CSessionPropertySheet::Create(session, with, ESheetKind::Session);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->Pages().tabText(sheet->Pages().count() - 1), "Reception");
    EXPECT_EQ(sheet->PageIconOf(sheet->Pages().count() - 1), "media");
    std::vector<std::unique_ptr<CSessionPropertySheet>> others;
    others.push_back(CSessionPropertySheet::Create(session, without, ESheetKind::Session));
    others.push_back(CSessionPropertySheet::Create(folder, with, ESheetKind::Session));
    others.push_back(CSessionPropertySheet::Create(folder, with, ESheetKind::Directory));
    for (const auto& other : others)
        for (int i = 0; i < other->Pages().count(); ++i)
            EXPECT_NE(other->Pages().tabText(i), "Reception");
    // Nothing is watched before the page is shown.
    auto* page = qobject_cast<CReceptionPage*>(sheet->Pages().widget(sheet->Pages().count() - 1));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->WatchId(), 0);
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
    ASSERT_NE(page, nullptr);
    const int watch = page->WatchId();
    ASSERT_NE(watch, 0);
    const QGroupBox* boxes[4] = {page->findChild<QGroupBox*>("media0"), page->findChild<QGroupBox*>("media1"),
                                 page->findChild<QGroupBox*>("media2"), page->findChild<QGroupBox*>("media3")};
    for (const QGroupBox* box : boxes)
        ASSERT_NE(box, nullptr);
    EXPECT_EQ(boxes[0]->title(), QString("Leg A: 1 audio  127.0.0.1/%1").arg(audio));
    const QGroupBox* pair = page->findChild<QGroupBox*>("pair0");
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(std::tuple(boxes[0]->parent(), page->findChild<QGroupBox*>("media4")->parent()),
              std::tuple(static_cast<const QObject*>(pair), static_cast<const QObject*>(pair)));

    // The sockets are open once the first figures are in.
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->Shown() != nullptr; }, 3000));
    EXPECT_EQ(Label(*boxes[0], "state"), "Silent");
    SendRtp(audio, 100, 50, 0);
    SendRtp(video, 7, 20, 97); // not the announced type
    SendRtp(six, 300, 30, 0, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(*boxes[0], "traffic").startsWith("50 packets"); }, 5000))
        << Label(*boxes[0], "traffic").toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(*boxes[1], "traffic").startsWith("20 packets"); }, 5000));
    EXPECT_EQ(Label(*boxes[0], "state"), "Receiving");
    EXPECT_TRUE(Label(*boxes[0], "rtp").startsWith("RTP: 50 expected, 0 lost")) << Label(*boxes[0], "rtp").toStdString();
    EXPECT_TRUE(Label(*pair, "merged").startsWith("Merged: 50 expected, 0 lost (0.00 %); leg B 0.00 ms after leg A"))
        << Label(*pair, "merged").toStdString();
    EXPECT_TRUE(Label(*boxes[0], "timing").startsWith("Jitter ")) << Label(*boxes[0], "timing").toStdString();
    EXPECT_TRUE(Label(*boxes[0], "senders").startsWith("From 127.0.0.1:"));
    EXPECT_EQ(Label(*boxes[1], "state"), "Impaired");
    EXPECT_TRUE(Label(*boxes[1], "payload").startsWith("Payload types 97 (announced 96): not as announced"))
        << Label(*boxes[1], "payload").toStdString();
    EXPECT_EQ(Label(*boxes[2], "state"), "Not watched (no IPv6 destination)");
    EXPECT_EQ(Label(*boxes[2], "rtp"), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Label(*boxes[3], "traffic").startsWith("30 packets"); }, 5000))
        << Label(*boxes[3], "traffic").toStdString();
    EXPECT_TRUE(Label(*boxes[3], "rtp").startsWith("RTP: 30 expected, 0 lost")) << Label(*boxes[3], "rtp").toStdString();
    EXPECT_TRUE(Label(*boxes[3], "senders").startsWith("From [::1]:")) << Label(*boxes[3], "senders").toStdString();
    const auto* plot = boxes[0]->findChild<CBitRatePlot*>("plot");
    ASSERT_NE(plot, nullptr);
    // The plot follows the whole seconds watched.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !plot->History().empty(); }, 3000));
    ASSERT_NE(page->Shown(), nullptr);
    EXPECT_EQ(page->Shown()->media[0].history, plot->History());

    sheet.reset();
    EXPECT_EQ(service.Latest(watch), nullptr);
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

    // Hidden at first, and nothing is watched with a row selected.
    auto* reception = window.findChild<CReceptionColumn*>();
    ASSERT_NE(reception, nullptr);
    EXPECT_TRUE(list.header()->isSectionHidden(column));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(reception->Watched(), nullptr);
    // The View menu shows it (Alt+V, R by keyboard).
    EXPECT_TRUE(window.ViewMenu().actions().contains(reception->Action()));
    EXPECT_EQ(reception->Action()->text(), "&Reception Column");
    // Its width comes out of Info's, so the columns after Info keep their place.
    const auto info = [&] { return list.header()->sectionSize(listrules::kColumnInfo); };
    const int infoWidth = info(), typeAt = list.header()->sectionViewportPosition(listrules::kColumnType);
    reception->Action()->trigger();
    EXPECT_FALSE(list.header()->isSectionHidden(column));
    EXPECT_EQ(info(), infoWidth - list.header()->sectionSize(column));
    EXPECT_EQ(list.header()->sectionViewportPosition(listrules::kColumnType), typeAt);
    ASSERT_NE(reception->Watched(), nullptr);
    EXPECT_EQ(reception->Watched()->name, "Session 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return cell(0).startsWith("silent"); }, 3000)) << cell(0).toStdString();
    SendRtp(ports[0], 1, 30, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cell(0).startsWith("receiving, "); }, 3000)) << cell(0).toStdString();
    EXPECT_EQ(list.model()->index(0, column).data(Qt::ForegroundRole).value<QColor>(), QColor(0x1B, 0x7F, 0x2A));
    EXPECT_EQ(cell(1), "");

    // Down: the next row is watched, the first one's cell empties.
    QTest::keyClick(&list, Qt::Key_Down);
    ASSERT_NE(reception->Watched(), nullptr);
    EXPECT_EQ(reception->Watched()->name, "Session 2");
    EXPECT_EQ(cell(0), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(1).startsWith("silent"); }, 3000)) << cell(1).toStdString();

    // Hidden again: nothing is watched and no cell says anything.
    reception->Action()->trigger();
    EXPECT_TRUE(list.header()->isSectionHidden(column));
    EXPECT_EQ(reception->Watched(), nullptr);
    EXPECT_EQ(info(), infoWidth);
    EXPECT_EQ(cell(1), "");
    window.close();
}
