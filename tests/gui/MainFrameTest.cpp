#include "gui/HelpPages.h"
#include "gui/InstanceBeacon.h"
#include "gui/LockKeys.h"
#include "gui/RowIcons.h"
#include "gui/StatusPanes.h"
#include "tools/ToolLauncher.h"
#include "views/SessionListModel.h"
#include "views/SessionSortFilter.h"
#include "watch/StoreWatch.h"
#include "support/GuiTestSupport.h"
#include <QRadioButton>

namespace {

constexpr int64_t kNow = 1700000000;

// The desktop program on an install directory and settings file of its
// own, offscreen.
class MainFrameTest : public CDesktopTest {
protected:
    // A session of the TTL Scope, on from `start` for an hour (0: always).
    std::shared_ptr<CSDPObject> Session(CDesktopApp& app, const std::string& id, int64_t start)
    {
        const std::string times = start ? std::to_string(start + kNtpUnixOffset) + " "
                + std::to_string(start + 3600 + kNtpUnixOffset)
                                        : "0 0";
        return CSDPObject::FromText("v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Session " + id +
                                        "\nc=IN IP4 239.1.2.3/15\nt=" + times + "\nm=audio 5004 RTP/AVP 0\n",
                                    app.Runtime().Environment());
    }
    std::shared_ptr<CSDPObject> Folder(CDesktopApp& app, const std::string& id, const std::string& group)
    {
        return CSDPObject::FromText("v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Folder " + id + "\nc=IN IP4 " + group +
                                        "/15\nt=0 0\nm=directory 9875 SAP/SDP 14\n",
                                    app.Runtime().Environment());
    }

    // Sessions reach the list from the event loop, a moment after the store
    // took them.
    static void AwaitListed(CMainFrame& window)
    {
        const CSessionListModel& list = window.SortedList().Source();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !list.HasPending(); }, 2000));
    }
    // Adds the records to the TTL Scope and waits until the list has them.
    static void AddListed(CDesktopApp& app, CMainFrame& window, std::initializer_list<std::shared_ptr<CSDPObject>> records)
    {
        CSessionStore& doc = app.Runtime().Doc();
        for (const auto& record : records)
            EXPECT_EQ(doc.AddSession(record, doc.MainList().At(0)), 1) << record->name;
        AwaitListed(window);
    }
    static QStringList Texts(const QMenu& menu)
    {
        QStringList texts;
        for (const QAction* a : menu.actions())
            texts << a->text();
        return texts;
    }

    QTemporaryDir& tmp = setup.tmp;
    const std::string& install = setup.install;
};

TEST_F(MainFrameTest, TreeSelectsListFiltersFollowKeysAndCloseWritesCache)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = StartShown(app);
    EXPECT_EQ(window.windowTitle(), "Default - Talmira");

    // Picking the TTL Scope in the tree shows its (empty) list.
    QTreeView& tree = window.TreeView();
    const QModelIndex ttl = Child(*tree.model(), tree.model()->index(0, 0), "TTL Scope");
    ASSERT_TRUE(ttl.isValid());
    tree.setCurrentIndex(ttl);
    EXPECT_EQ(window.windowTitle(), "Talmira - TTL Scope");
    const QAbstractItemModel& rows = *window.ListView().model();
    EXPECT_EQ(rows.rowCount(), 0);

    CSessionStore& doc = app.Runtime().Doc();
    const auto scope = doc.MainList().At(0);
    AddListed(app, window, {Session(app, "1", 0), Session(app, "2", kNow + 8 * 86400)});
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.index(0, 0).data().toString(), "Session 1");
    EXPECT_TRUE(window.FilterAction(5)->isChecked());

    // Tabbing into the list selects its row 0, so the row commands act on
    // it; back in the tree, the list shows no selection.
    QItemSelectionModel& picked = *window.ListView().selectionModel();
    ASSERT_FALSE(picked.hasSelection());
    tree.setFocus();
    QTest::keyClick(&tree, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), &window.ListView());
    EXPECT_EQ(picked.selectedRows(), QModelIndexList{rows.index(0, 0)});
    EXPECT_TRUE(window.CommandAction(ECommand::Properties)->isEnabled());
    tree.setFocus();
    EXPECT_FALSE(picked.hasSelection());

    // Ctrl+N is Current (not New): nothing is made, even with both New
    // commands there. Ctrl+A is All even inside the list, where it would
    // otherwise select every row.
    int made = 0;
    for (ECommand c : {ECommand::NewSession, ECommand::NewFolder})
        window.SetCommandHandler(c, [&made](const CMainFrame::CCommandTarget&) { ++made; });
    window.ListView().setFocus();
    ASSERT_TRUE(window.CommandAction(ECommand::NewSession)->isEnabled());
    QTest::keyClick(&window.ListView(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(std::tuple(window.FilterAction(1)->isChecked(), rows.rowCount(), made, scope->links->children->Size()),
              std::tuple(true, 1, 0, size_t{2}));
    QTest::keyClick(&window.ListView(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(std::tuple(window.FilterAction(5)->isChecked(), rows.rowCount()), std::tuple(true, 2));

    // Enter on a folder row opens the folder: its tree item is selected,
    // the title stays.
    AddListed(app, window, {Folder(app, "A", "239.195.7.7")});
    const QModelIndex folderRow = Child(rows, {}, "Folder A");
    ASSERT_TRUE(folderRow.isValid());
    window.ListView().setCurrentIndex(folderRow);
    QTest::keyClick(&window.ListView(), Qt::Key_Return);
    EXPECT_EQ(std::tuple(tree.currentIndex().data().toString(), window.windowTitle(), rows.rowCount()),
              std::tuple(QString("Folder A"), QString("Talmira - TTL Scope"), 0));

    // The root shows the top level again, titled by the program alone.
    tree.setCurrentIndex(tree.model()->index(0, 0));
    EXPECT_EQ(window.windowTitle(), "Talmira ");
    EXPECT_EQ(Child(rows, {}, "Session 1"), QModelIndex());

    const std::string cache = doc.CacheFilePath();
    EXPECT_FALSE(fs::exists(cache));
    // Exit asks first; No keeps the program running, Yes closes it the
    // normal way, writing the cache.
    prompter.answers = {EPromptAnswer::No, EPromptAnswer::Yes};
    window.ExitAction()->trigger();
    EXPECT_TRUE(window.isVisible() && !fs::exists(cache));
    // Closing also empties tmp/ of its files; subfolders stay.
    const fs::path sessionFile = fs::path(install) / "tmp" / "Session_1.sdp";
    fs::create_directories(fs::path(install) / "tmp" / "keep");
    std::ofstream(sessionFile.string()) << "v=0\n";
    window.ExitAction()->trigger();
    EXPECT_EQ(std::tuple(window.isVisible(), fs::exists(sessionFile), fs::exists(fs::path(install) / "tmp" / "keep")),
              std::tuple(false, false, true));
    const std::string quit = "Selecting YES will quit the program selecting NO will make the program run in the background";
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{quit, quit}));
    EXPECT_NE(ReadTestFile(cache).find("Session 2"), std::string::npos);
    EXPECT_TRUE(exit.statuses.empty());
}

// Enter and a double click on a session's row start its tools: a real
// process, found through a plug-in, given the session's name.
TEST_F(MainFrameTest, OpenOnASessionRowStartsItsTools)
{
    const fs::path started = fs::path(tmp.path().toStdString()) / "started";
    const fs::path tool = fs::path(tmp.path().toStdString()) / "open-tool";
    std::ofstream(tool.string()) << "#!/bin/sh\necho \"$1\" >> '" << started.string() << "'\n";
    fs::permissions(tool, fs::perms::owner_all);
    std::ofstream((fs::path(install) / "plugins" / "rev2.plugin.0open").string())
        << "media: audio\nproto: RTP/AVP\ntool: " << tool.string() << "\nfmt: 0\n{\nfmtname: PCMU\n}\nflags: $(SESSNAME)\n";
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    AddListed(app, window, {Session(app, "1", 0)});
    QTreeView& list = window.ListView();
    const QModelIndex row = Child(*list.model(), {}, "Session 1");
    ASSERT_TRUE(row.isValid());
    const auto startedLines = [&] { return ReadTestFile(started.string()); };
    list.setFocus();
    list.setCurrentIndex(row);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return startedLines() == "Session 1\n"; }, 5000)) << startedLines();
    // Through the window, as the platform sends it: two clicks make the double click.
    const QPoint at = list.viewport()->mapTo(&window, list.visualRect(row).center());
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(QTest::qWaitFor([&] { return startedLines() == "Session 1\nSession 1\n"; }, 5000) && prompter.shown.empty())
        << startedLines();
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval()); // no click of the next test doubles this one
}

// Plug-ins that cannot be read end the program at once, at start or when the
// Tool Picker reloads them; tmp/ is emptied first all the same.
TEST_F(MainFrameTest, PluginsThatEndTheProgramEmptyTmpFirst)
{
    const fs::path sessionFile = fs::path(install) / "tmp" / "Session_1.sdp";
    const fs::path bad = fs::path(install) / "plugins" / "rev2.plugin.bad";
    for (const bool atStart : {true, false}) {
        SCOPED_TRACE(atStart ? "at start" : "reloaded");
        fs::remove(bad);
        exit.statuses.clear();
        CDesktopApp app(prompter, exit, &clock);
        if (atStart)
            std::ofstream(bad.string()) << "@define: X\n";
        std::ofstream(sessionFile.string()) << "v=0\n";
        if (app.Start(CCommandLine()) && !atStart) {
            ASSERT_TRUE(app.Runtime().Launcher() && fs::exists(sessionFile));
            app.Runtime().Launcher()->onFatal(); // what a reload that fails calls
        }
        EXPECT_EQ(exit.statuses, std::vector<int>{-1});
        EXPECT_FALSE(fs::exists(sessionFile));
    }
}

TEST(StatusBarClock, LocalTimeWithSecondsAndNoZone)
{
    for (const auto& [locale, shown] : {std::pair(QLocale(QLocale::English, QLocale::UnitedStates), "4:05:09\u202fPM"),
                                        std::pair(QLocale(QLocale::German, QLocale::Germany), "16:05:09"),
                                        std::pair(QLocale::c(), "16:05:09")}) {
        const QString format = ClockTimeFormat(locale);
        EXPECT_FALSE(format.contains('t')) << format.toStdString();
        const QString text = locale.toString(QTime(16, 5, 9), format);
        EXPECT_TRUE(text == QString::fromUtf8(shown) || text == QString(shown).replace(QChar(0x202F), ' '))
            << text.toStdString();
    }
}

// The session types' images: each its own picture with room around it (a
// tile filled edge to edge covers some 224 of the 256 pixels), the clock
// form differing from the plain one, the faded form halfway to white, the
// form of a session in alarm marked red over the plain and faded images.
TEST(RowIcons, EachTypeIsItsOwnPictureAndFadesHalfwayToWhite)
{
    GuiApplication();
    const auto image = [](int index, bool faded, bool alarmed = false) {
        return rowicons::SessionIcon(index, faded, alarmed).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    std::vector<QImage> seen;
    for (int index = 0; index < 2 * rowicons::kTypeCount; ++index) {
        SCOPED_TRACE(index);
        const QImage plain = image(index, false);
        const QImage faded = image(index, true);
        ASSERT_TRUE(plain.size() == QSize(16, 16) && faded.size() == QSize(16, 16));
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb was = plain.pixel(x, y), now = faded.pixel(x, y);
                opaque += qAlpha(was) == 255;
                ASSERT_NEAR(qAlpha(now), qAlpha(was), 1) << x << "," << y;
                if (qAlpha(was) < 128)
                    continue; // too faint for its colour to be exact
                for (const int shift : {16, 8, 0}) // red, green, blue
                    ASSERT_NEAR(int(now >> shift & 0xff), int((was >> shift & 0xff) + 255) / 2, 3) << x << "," << y;
            }
        EXPECT_TRUE(opaque > 16 && opaque < 160) << opaque;
        for (const bool fade : {false, true})
            EXPECT_EQ(image(index, fade, true).pixel(2, 13), QColor(0xd0, 0x1e, 0x1e).rgb()) << fade;
        for (const QImage& other : seen)
            EXPECT_FALSE(plain == other);
        seen.push_back(plain);
    }
    EXPECT_TRUE(image(99, false) == image(3, false)); // an unknown number reads as the unknown type
}

// The row delegate draws a cell's text from shapes it keeps: as the style
// would draw it (beside the type image, cut with an ellipsis where too
// long, grey for a session that is not on, white on a selected row), and
// anew when the text changes to another of the same length or the column
// narrows.
TEST(RowDelegate, TextsAsTheStyleDrawsThemAndFollowingChanges)
{
    GuiApplication();
    QStandardItemModel model(2, 2);
    QWidget window; // one window: both views active or neither
    QTreeView ours(&window), styles(&window);
    ours.setItemDelegate(new CSessionRowDelegate(&ours));
    for (QTreeView* view : {&ours, &styles}) {
        view->setModel(&model);
        view->setRootIsDecorated(false);
        view->setTextElideMode(Qt::ElideRight);
        view->setGeometry(0, view == &ours ? 0 : 120, 420, 120);
        view->header()->setStretchLastSection(false); // the widths set are the widths drawn
        view->setColumnWidth(0, 60);
        view->setColumnWidth(1, 300);
        view->setFocusPolicy(Qt::NoFocus);
    }
    window.resize(420, 240);
    window.show();
    // Column 1 (column 0 carries the type image, as tall as ours for the
    // style's delegate); the second row grey.
    for (int row = 0; row < 2; ++row)
        model.setData(model.index(row, 0), rowicons::SessionIcon(0), Qt::DecorationRole);
    model.setData(model.index(1, 1), QColor(Qt::gray), Qt::ForegroundRole);
    model.setData(model.index(0, 0), "Radio");
    model.setData(model.index(1, 0), "Jazz Night");
    const auto cells = [&](QTreeView& view) {
        return view.viewport()->grab(view.visualRect(view.model()->index(0, 0)).united(view.visualRect(view.model()->index(1, 1)))).toImage();
    };
    const auto same = [&](const char* what) {
        EXPECT_TRUE(cells(ours) == cells(styles)) << what;
    };
    model.setData(model.index(0, 1), "Campus Radio");
    model.setData(model.index(1, 1), "Music and talk around the clock");
    same("short texts");
    const QImage before = cells(ours);
    model.setData(model.index(0, 1), "Campus Rodeo");
    EXPECT_FALSE(cells(ours) == before) << "a text of the same length drawn from the old shape";
    same("changed text");
    model.setData(model.index(1, 1), QString("A seminar about multicast conferencing ").repeated(8));
    same("cut text");
    for (QTreeView* view : {&ours, &styles})
        view->setColumnWidth(1, 150);
    same("narrower column");
    // Cells of one size with and without the image keep their text apart.
    for (QTreeView* view : {&ours, &styles})
        view->setColumnWidth(0, 150);
    same("image column as wide as the text column");
    for (QTreeView* view : {&ours, &styles})
        view->selectionModel()->select(model.index(0, 1), QItemSelectionModel::Select);
    same("selected cell");
}

// The menus and the band bar as the user reads them: every entry in order,
// "-" for a separator, a submenu in braces, a status prompt after "=".
TEST_F(MainFrameTest, MenusBandBarAndStatusPromptsInOrder)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = StartShown(app);
    const std::function<QString(const QMenu&)> entries = [&entries](const QMenu& menu) {
        QStringList out;
        for (const QAction* a : menu.actions())
            out << (a->isSeparator() ? QString("-")
                    : a->menu()        ? a->text() + "{" + entries(*a->menu()) + "}"
                                       : a->text() + (a->statusTip().isEmpty() ? "" : "=" + a->statusTip()));
        return out.join(" | ");
    };
    std::vector<std::string> menus;
    for (const QAction* top : window.menuBar()->actions())
        menus.push_back((top->text() + ": " + entries(*top->menu())).toStdString());
    ASSERT_EQ(menus.size(), 4u);
    EXPECT_EQ(menus[0], "&Announce: &Open | - | &New\tCtrl+N{&Folder | &Session...} | - | &Delete\tDEL | &Edit.. | "
                        "&Properties... | - | &Clear cache=Clear the cache | - | E&xit");
    EXPECT_EQ(menus[1], "&Edit: &Settings...=Edit the settings of this program... | Tools...");
    EXPECT_EQ(menus[2], "&View: &Current=View all active sessions | &Today=View all sessions active today. | "
                        "This &Week=View what is available this week | This &Month=View what is available this month | "
                        "&All=View all announced sessions | - | Arran&ge Sessions{by Name | by Info | by Start Date | "
                        "by Type | by Media} | - | &Toolbar | &Status Bar | "
                        "&Reception Column=Show what arrives for the selected session | "
                        "Cloc&k Column=Show the reference clock each session's streams name | "
                        "C&locks=Show the PTP clocks the streams name and those heard on the network | "
                        "&Alarms=Show the alarms of the watched sessions and their log | "
                        "&Mosaic=Show the pictures and sound of the selected directory's sessions side by side");
    // The website's prompt says where it goes, or that none is set up.
    EXPECT_EQ(menus[3].substr(0, 61), "&Help: &Help Topics=Open the help pages | Talmira on the Web=");
    EXPECT_TRUE(menus[3].ends_with(" | - | &About Talmira...")) << menus[3];

    std::vector<std::string> band;
    for (const QAction* a : window.findChild<QToolBar*>("toolbar")->actions())
        band.push_back(a->isSeparator() ? "-" : a->iconText().isEmpty() ? "[]" : a->iconText().toStdString());
    while (!band.empty() && band.back() == "[]")
        band.pop_back(); // the logo and the room before it
    EXPECT_EQ(band, (std::vector<std::string>{"Clear", "-", "New Session", "Delete", "Properties", "New Folder", "-",
                                              "Current", "Today", "This Week", "This Month", "All", "-", "About"}));
    // The band bar's tips are the commands' short names.
    EXPECT_EQ(window.FilterAction(listrules::kFilterCurrent)->toolTip() + "|" +
                  window.FilterAction(listrules::kFilterThisMonth)->toolTip(), "Current Sessions|Sessons This Month");
    // The filter in use is filled with the selection colour.
    QToolBar& bar = *window.findChild<QToolBar*>("toolbar");
    const QImage on = bar.widgetForAction(window.FilterAction(listrules::kFilterAll))->grab().toImage();
    int filled = 0;
    for (int y = 0; y < on.height(); ++y)
        for (int x = 0; x < on.width(); ++x)
            filled += on.pixelColor(x, y) == bar.palette().color(QPalette::Highlight);
    EXPECT_GT(filled, on.width() * on.height() / 3);
    // The Type column shows "Admin Scope" (the TTL Scope's row at start) whole.
    const QTreeView& list = window.ListView();
    EXPECT_GE(list.header()->sectionSize(listrules::kColumnType), list.fontMetrics().horizontalAdvance("Admin Scope") + 12);
}

TEST_F(MainFrameTest, BandBarLogoAndStatusBarLockKeys)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = StartShown(app);

    // The logo stands whole at the band bar's far end; a double click on it
    // is one on the bar, which opens the home page.
    auto* bar = window.findChild<QToolBar*>("toolbar");
    auto* logo = bar->findChild<QLabel*>("logo");
    ASSERT_TRUE(logo && logo->isVisible() && !logo->pixmap().isNull());
    EXPECT_GT(logo->x(), bar->widgetForAction(window.AboutAction())->geometry().right());
    EXPECT_TRUE(logo->height() >= logo->sizeHint().height() && logo->width() >= logo->sizeHint().width());
    int opened = 0;
    app.Help()->opener = [&opened](const QUrl&) { return ++opened; };
    // Sent whole: QTest's own double click leaves a button held for the
    // tests that follow.
    const QPointF onLogo = logo->geometry().center();
    QMouseEvent twice(QEvent::MouseButtonDblClick, onLogo, bar->mapToGlobal(onLogo), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(bar, &twice);
    EXPECT_EQ(opened, 1);

    // Right of the prompt: CAPS, NUM, SCRL, the date and the time, in this
    // order, each as wide as its text.
    std::vector<QLabel*> panes;
    for (const char* name : {"caps", "num", "scroll", "date", "time"}) {
        panes.push_back(window.statusBar()->findChild<QLabel*>(name));
        ASSERT_TRUE(panes.back() && panes.back()->isVisible()) << name;
        EXPECT_GE(panes.back()->width(), panes.back()->sizeHint().width()) << name;
    }
    EXPECT_EQ(panes[0]->text() + " " + panes[1]->text() + " " + panes[2]->text(), "CAPS NUM SCRL");
    for (size_t i = 1; i < panes.size(); ++i)
        EXPECT_LT(panes[i - 1]->geometry().right(), panes[i]->x()) << i;
    EXPECT_EQ(window.statusBar()->currentMessage(), "For Help, press F1");

    // Offscreen no keyboard light can be read: the lock keys the window
    // sees pressed toggle their panes, which start greyed.
    const auto lit = [&panes] { return std::array{panes[0]->isEnabled(), panes[1]->isEnabled(), panes[2]->isEnabled()}; };
    EXPECT_EQ(lit(), (std::array{false, false, false}));
    QWindow* keyboard = window.windowHandle();
    QTest::keyClick(keyboard, Qt::Key_CapsLock);
    EXPECT_EQ(lit(), (std::array{true, false, false}));
    QTest::keyClick(keyboard, Qt::Key_ScrollLock);
    QTest::keyClick(keyboard, Qt::Key_CapsLock);
    EXPECT_EQ(lit(), (std::array{false, false, true}));
    QTest::keyClick(keyboard, Qt::Key_A);
    EXPECT_EQ(lit(), (std::array{false, false, true}));

    // Where the platform tells, its answer counts, also after a lock key,
    // and the panes follow it within the clock's second.
    CLockKeys platform{false, true, false};
    window.LockKeys().readPlatform = [&platform] { return std::optional(platform); };
    window.LockKeys().Refresh();
    EXPECT_EQ(lit(), (std::array{false, true, false}));
    QTest::keyClick(keyboard, Qt::Key_NumLock);
    QTest::qWait(20);
    EXPECT_EQ(lit(), (std::array{false, true, false}));
    platform.caps = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return panes[0]->isEnabled(); }, 2500));
}

TEST_F(MainFrameTest, ExitNoAndMinimiseHideToTheTrayOnlyWhereThereIsOne)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    CMainFrame& window = *app.Window();
    QSystemTrayIcon& tray = window.TrayIcon();
    QMenu& trayMenu = window.TrayMenu();
    EXPECT_EQ(Texts(trayMenu), QStringList({"&Open", "&Close"}));
    { // A click raises the shown window over another one.
        ShowActive(window);
        QWidget other;
        ShowActive(other);
        emit tray.activated(QSystemTrayIcon::Trigger);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // The right button opens the menu with its right edge at the pointer.
    const QPoint pointer(500, 300);
    QCursor::setPos(pointer);
    emit tray.activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(trayMenu.isVisible());
    EXPECT_EQ(trayMenu.geometry().right() + 1, pointer.x());
    EXPECT_EQ(trayMenu.y(), pointer.y());
    trayMenu.close();

    for (const bool available : {false, true}) {
        SCOPED_TRACE(available ? "with a tray" : "without a tray");
        window.trayAvailable = [available] { return available; };
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        prompter.answers = {EPromptAnswer::No};
        window.ExitAction()->trigger();
        emit tray.activated(QSystemTrayIcon::Trigger); // a click does not show a hidden window
        EXPECT_EQ(std::tuple(window.isVisible(), tray.isVisible(), tray.toolTip()),
                  std::tuple(!available, available, QString(available ? "MBone sessions" : "")));
        // A double click on the icon brings the window back and removes it.
        emit tray.activated(QSystemTrayIcon::DoubleClick);
        EXPECT_TRUE(window.isVisible() && !tray.isVisible());

        window.showMinimized();
        if (available) {
            QTRY_VERIFY(!window.isVisible());
            EXPECT_EQ(std::tuple(tray.isVisible(), tray.toolTip()), std::tuple(true, QString("Multicast Sessions")));
            trayMenu.actions().at(0)->trigger(); // &Open
            EXPECT_TRUE(!tray.isVisible() && !window.isMinimized());
        } else {
            QTest::qWait(20);
            EXPECT_TRUE(window.isVisible() && !tray.isVisible()); // minimised, in reach of the task bar
            window.showNormal();
        }
        EXPECT_TRUE(window.isVisible());
    }
    window.close();
    EXPECT_FALSE(tray.isVisible());
}

// A second start waking the first window is desktop_end_to_end.sh's; here
// each install directory's name, and nobody answering there.
TEST_F(MainFrameTest, EachInstallDirectoryHasItsOwnBeacon)
{
    const std::string other = tmp.path().toStdString() + "/other";
    EXPECT_NE(CInstanceBeacon::ServerName(other), CInstanceBeacon::ServerName(install));
    EXPECT_EQ(CInstanceBeacon::ServerName(install + "/."), CInstanceBeacon::ServerName(install));
    EXPECT_TRUE(!CInstanceBeacon::WakeRunning(other, 200) && prompter.shown.empty());
}

TEST_F(MainFrameTest, DeleteTakesOnlyOwnSessionsOffTheListAndSendsTheirDeletion)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    QTreeView& tree = window.TreeView();
    const auto mine = Session(app, "2", 0);
    mine->own = 1;
    mine->announceTtl = 0; // the deletion stays on this host
    AddListed(app, window, {Session(app, "1", 0), mine});
    EXPECT_EQ(Texts(window.ListMenu()), QStringList({"&New\tCtrl+N", "&Delete\tDEL", "&Edit..", "&Properties...", "",
                                                     "&Auto Start", "", "&Copy SDP", "&Save SDP As...", "",
                                                     "&Watch\tCtrl+Shift+W"}));

    QTreeView& list = window.ListView();
    const QAbstractItemModel& rows = *list.model();
    list.setFocus();
    list.setCurrentIndex(Child(rows, {}, "Session 1"));
    EXPECT_FALSE(window.DeleteAction()->isEnabled());
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(rows.rowCount(), 2);
    // Ctrl+Shift+W watches the row, kept in the settings; again stops watching it.
    QTest::keyClick(&list, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    CWatchList kept;
    ASSERT_TRUE(app.Watch() && kept.Load(*OpenSettingsStore()));
    EXPECT_EQ(kept.Sessions(), std::vector{WatchKey(*window.CurrentRecord())});
    QTest::keyClick(&list, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(kept.Load(*OpenSettingsStore()) && kept.Sessions().empty());

    // An own row, but the tree is the active pane.
    list.setCurrentIndex(Child(rows, {}, "Session 2"));
    tree.setFocus();
    EXPECT_FALSE(window.DeleteAction()->isEnabled());
    list.setFocus();
    ASSERT_TRUE(window.DeleteAction()->isEnabled());

    mine->lastHeard = 0;
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(std::tuple(rows.rowCount(), Child(rows, {}, "Session 2").isValid(), mine->lastHeard), // its deletion went out
              std::tuple(1, false, kNow));
    EXPECT_EQ(app.Runtime().Doc().MainList().At(0)->links->children->Size(), 1u);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(MainFrameTest, TreeMenuSelectsQuietlyAndDeletesOwnFoldersOnly)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    CSessionStore& doc = app.Runtime().Doc();
    const auto scope = doc.MainList().At(0);
    const auto theirs = Folder(app, "7", "239.195.7.7");
    const auto mine = Folder(app, "8", "239.195.7.8");
    mine->own = 1;
    mine->announceTtl = 0;
    ASSERT_EQ(doc.AddSession(theirs, scope), 1);
    ASSERT_EQ(doc.AddSession(mine, scope), 1);
    ASSERT_EQ(doc.AddSession(Session(app, "1", 0), mine), 1);
    AwaitListed(window);
    EXPECT_EQ(Texts(window.TreeMenu()), QStringList({"&New\tCtrl+N", "&Delete\tDEL", "&Edit..", "&Properties..."}));

    std::vector<CMainFrame::CCommandTarget> asked;
    for (ECommand c : {ECommand::Properties, ECommand::Settings})
        window.SetCommandHandler(c, [&asked](const CMainFrame::CCommandTarget& t) { asked.push_back(t); });

    // The right button selects the item and shows its list; the title stays.
    QTreeView& tree = window.TreeView();
    const QAbstractItemModel& rows = *window.ListView().model();
    const QModelIndex ttl = tree.currentIndex();
    tree.expand(ttl);
    const QModelIndex mineItem = Child(*tree.model(), ttl, "Folder 8");
    ASSERT_TRUE(mineItem.isValid());
    // The menu opens when the button is let go, not when it is pressed (the
    // press comes through the window, as the platform's does, with the menu
    // event some platforms send along).
    const QPoint at = tree.viewport()->mapTo(&window, tree.visualRect(mineItem).center());
    QTest::mousePress(window.windowHandle(), Qt::RightButton, {}, at);
    EXPECT_EQ(std::tuple(tree.currentIndex(), window.windowTitle(), rows.index(0, 0).data().toString(), rows.rowCount(),
                         window.TreeMenu().isVisible()),
              std::tuple(QPersistentModelIndex(mineItem), QString("Talmira - TTL Scope"), QString("Session 1"), 1, false));
    QTest::mouseRelease(window.windowHandle(), Qt::RightButton, {}, at);
    EXPECT_TRUE(window.TreeMenu().isVisible());
    window.TreeMenu().close();
    // The menu key opens it beside the item instead of at the pointer.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {});
    QApplication::sendEvent(&tree, &menuKey);
    EXPECT_EQ(std::pair(window.TreeMenu().isVisible(), window.TreeMenu().pos()),
              std::pair(true, tree.viewport()->mapToGlobal(tree.visualRect(mineItem).center())));
    window.TreeMenu().close();
    EXPECT_TRUE(window.DeleteAction()->isEnabled());
    EXPECT_FALSE(window.CommandAction(ECommand::Settings)->isEnabled()); // list only
    EXPECT_FALSE(window.OpenAction()->isEnabled());
    // Properties on the tree acts on the folder.
    QTest::keyClick(&tree, Qt::Key_Return, Qt::AltModifier);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].record == mine && asked[0].fromTree);

    // Someone else's folder stays: Delete is disabled.
    tree.setCurrentIndex(Child(*tree.model(), ttl, "Folder 7"));
    EXPECT_FALSE(window.DeleteAction()->isEnabled());
    QTest::keyClick(&tree, Qt::Key_Delete);
    EXPECT_EQ(scope->links->children->Size(), 2u);

    // An own folder goes at once, without a question; the tree falls back to
    // its parent without telling anyone, the list shows the parent and the
    // title no longer names the folder.
    tree.setCurrentIndex(Child(*tree.model(), ttl, "Folder 8"));
    QTest::keyClick(&tree, Qt::Key_Delete);
    EXPECT_EQ(std::tuple(scope->links->children->Size(), Child(*tree.model(), ttl, "Folder 8").isValid(),
                         tree.currentIndex().data().toString(), window.windowTitle(), Child(rows, {}, "Folder 7").isValid()),
              std::tuple(size_t{1}, false, QString("TTL Scope"), QString("Talmira - TTL Scope"), true));
    EXPECT_TRUE(prompter.shown.empty() && asked.size() == 1u);
}

TEST_F(MainFrameTest, AutoStartMarksOnlySessionsThatAreNotOnYet)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    const auto later = Session(app, "1", kNow + 86400);
    AddListed(app, window, {later, Session(app, "2", 0)});
    QTreeView& list = window.ListView();
    const QAbstractItemModel& rows = *list.model();
    QAction& autoStart = *window.AutoStartAction();
    list.setFocus();

    const QModelIndex laterRow = Child(rows, {}, "Session 1");
    list.setCurrentIndex(laterRow);
    ASSERT_TRUE(autoStart.isEnabled() && !autoStart.isChecked());
    const int icon = laterRow.data(CSessionListModel::kIconRole).toInt();
    const auto state = [&] {
        return std::tuple(later->startTools, autoStart.isChecked(),
                          Child(rows, {}, "Session 1").data(CSessionListModel::kIconRole).toInt() - icon);
    };
    autoStart.trigger();
    EXPECT_EQ(state(), std::tuple(1, true, 8));
    // Without a row the entry keeps what it showed and does nothing.
    list.clearSelection();
    EXPECT_TRUE(autoStart.isEnabled());
    autoStart.trigger();
    EXPECT_EQ(state(), std::tuple(1, true, 8));
    list.setCurrentIndex(Child(rows, {}, "Session 1"));
    autoStart.trigger();
    EXPECT_EQ(state(), std::tuple(0, false, 0));
    // Chosen in the "Auto Start?" question, the clock shows at once too (the
    // question's keys are ToolDialogsTest's; here it is answered directly, as
    // keys sent before the dialog is the active window can be lost).
    OnModal<QDialog>([](QDialog& d) {
        for (auto* choice : d.findChildren<QRadioButton*>())
            choice->setChecked(choice->text() == "Auto Start");
        d.accept();
    });
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::get<2>(state()) == 8; }));

    list.setCurrentIndex(Child(rows, {}, "Session 2")); // on now
    EXPECT_FALSE(autoStart.isEnabled());
}

TEST_F(MainFrameTest, ArrangeMarksAndSearchNarrowTheList)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    const auto routed = CSDPObject::FromText("v=0\no=- 3 1 IN IP4 10.0.0.1\ns=Lecture\nt=0 0\n"
                                             "m=video 5006 RTP/AVP 31\nc=IN IP4 233.252.0.9/15\n",
                                             app.Runtime().Environment());
    AddListed(app, window, {Session(app, "1", 0), Session(app, "2", kNow + 86400), routed});

    // The hand follows the toggle: up when ascending, down when descending,
    // on the active entry only.
    const auto mark = [&](int column) { return window.ArrangeAction(column)->icon().cacheKey(); };
    const qint64 up = rowicons::HandIcon(true).cacheKey(), down = rowicons::HandIcon(false).cacheKey();
    EXPECT_TRUE(up != down && mark(listrules::kColumnSession) == up);
    window.ArrangeAction(listrules::kColumnSession)->trigger();
    EXPECT_EQ(mark(listrules::kColumnSession), down);
    window.ArrangeAction(listrules::kColumnMedia)->trigger();
    EXPECT_TRUE(mark(listrules::kColumnMedia) == up && window.ArrangeAction(listrules::kColumnSession)->icon().isNull());
    // The header's arrow for ascending (handed to the style as "down") is drawn up, as the hand.
    const auto arrow = [](const QStyle& style, QStyleOptionHeader::SortIndicator sort) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QStyleOptionHeader option;
        option.rect = image.rect();
        option.sortIndicator = sort;
        QPainter painter(&image);
        style.drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &option, &painter);
        return image;
    };
    EXPECT_EQ(arrow(*window.ListView().header()->style(), QStyleOptionHeader::SortDown),
              arrow(*QApplication::style(), QStyleOptionHeader::SortUp));

    // Ctrl+F, then the text narrows the rows by name, information or media
    // address, ignoring case, together with the time filter.
    QTreeView& list = window.ListView();
    const QAbstractItemModel& rows = *list.model();
    QLineEdit& search = window.SearchField();
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(search.hasFocus());
    for (const auto& [text, filter, count] : {std::tuple("SESSION", listrules::kFilterAll, 2),
                                              std::tuple("session", listrules::kFilterCurrent, 1)}) {
        window.FilterAction(filter)->trigger();
        search.clear();
        QTest::keyClicks(&search, text);
        EXPECT_EQ(rows.rowCount(), count) << text;
    }
    // Escape clears the text; a second one goes back to the list.
    window.FilterAction(listrules::kFilterAll)->trigger();
    QTest::keyClick(&search, Qt::Key_Escape);
    EXPECT_TRUE(search.text().isEmpty() && search.hasFocus() && rows.rowCount() == 3);
    QTest::keyClick(&search, Qt::Key_Escape);
    EXPECT_TRUE(list.hasFocus());
}

TEST_F(MainFrameTest, CopyAndSaveSdpGiveTheWrittenText)
{
    CDesktopApp app(prompter, exit, &clock);
    CMainFrame& window = ShowTtlScope(app);
    const auto session = Session(app, "1", 0);
    session->name = "Caf\xc3\xa9 / news";
    AddListed(app, window, {session, Folder(app, "7", "239.195.7.7")});
    const std::string written = WrittenSdp(*session);

    QTreeView& list = window.ListView();
    const QAbstractItemModel& rows = *list.model();
    QAction& copy = *window.CommandAction(ECommand::CopySdp);
    QAction& save = *window.CommandAction(ECommand::SaveSdp);
    list.setFocus();
    list.setCurrentIndex(Child(rows, {}, "Folder 7"));
    EXPECT_FALSE(copy.isEnabled() || save.isEnabled());

    list.setCurrentIndex(Child(rows, {}, QString::fromUtf8("Caf\xc3\xa9 / news")));
    ASSERT_TRUE(copy.isEnabled());
    copy.trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(std::pair(copied->text().toStdString(), copied->data("application/sdp").toStdString()), std::pair(written, written));

    // Saving: the chooser is offered a name made from the session's name;
    // a name without extension gets ".sdp"; a failed write says why.
    QStringList offered;
    QString answer;
    window.chooseSdpFile = [&](const QString& suggested) {
        offered << QFileInfo(suggested).fileName();
        return answer;
    };
    const QString folder = tmp.path();
    answer = folder + "/saved";
    save.trigger();
    EXPECT_EQ(offered, QStringList({QString::fromUtf8("Caf\xc3\xa9 _ news.sdp")}));
    EXPECT_EQ(ReadTestFile((folder + "/saved.sdp").toStdString()), written);
    answer = folder + "/missing/x.sdp";
    save.trigger();
    answer.clear(); // cancelled: nothing said
    save.trigger();
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Could not save " + folder.toStdString() + "/missing/x.sdp:\nNo such file or directory"});
}

} // namespace
