#include "tools/qt/ToolSearchQt.h"
#include "tools/ToolsTestSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

// The reports reach the owner's thread as signals, in listing order, and
// "finished" comes after the last match.
TEST(ToolSearchQt, ReportsArriveAsSignalsOnTheOwnersThread)
{
    int argc = 1;
    char* argv[] = {const_cast<char*>("test"), nullptr};
    QCoreApplication app(argc, argv);
    CTempInstallDir dir;
    for (const char* sub : {"a", "b/c"}) {
        std::filesystem::create_directories(std::filesystem::path(dir.Path()) / sub);
        CTempInstallDir::Write(std::filesystem::path(dir.Path()) / sub / "viewer.exe", "x");
    }
    CToolSearchQt search;
    QStringList events;
    const Qt::HANDLE owner = QThread::currentThreadId();
    auto log = [&](const QString& event) { events << event + (QThread::currentThreadId() == owner ? "" : " elsewhere"); };
    QObject::connect(&search, &CToolSearchQt::found, [&](const QString& p) { log(p.mid(int(dir.Path().size()))); });
    QObject::connect(&search, &CToolSearchQt::processing, [&](const QString&) { log("folder"); });
    QEventLoop loop;
    QObject::connect(&search, &CToolSearchQt::finished, [&] { log("finished"), loop.quit(); });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(search.Start(QString::fromStdString(dir.Path()), "viewer"));
    loop.exec();
    // Root, a, its match, b, b/c, its match, plugins.
    EXPECT_EQ(events, (QStringList{"folder", "folder", "/a/viewer.exe", "folder", "folder", "/b/c/viewer.exe", "folder",
                                   "finished"}));
    EXPECT_TRUE(search.IsIdle());
}
