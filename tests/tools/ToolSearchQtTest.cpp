#include "tools/qt/ToolSearchQt.h"
#include "tools/ToolsTestSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

// The reports reach the owner's thread as signals, in listing order, and
// "finished" comes after the last match.
TEST(ToolSearchQt, ReportsArriveAsSignalsOnTheOwnersThread)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    CTempInstallDir dir;
    for (const char* sub : {"a", "b/c"}) {
        fs::create_directories(fs::path(dir.Path()) / sub);
        CTempInstallDir::Write(fs::path(dir.Path()) / sub / "viewer.exe", "x");
    }
    CToolSearchQt search;
    QStringList events;
    Qt::HANDLE owner = QThread::currentThreadId();
    bool sameThread = true;
    QObject::connect(&search, &CToolSearchQt::found, [&](const QString& p) {
        sameThread = sameThread && QThread::currentThreadId() == owner;
        events << "found " + p.mid(QString::fromStdString(dir.Path()).size());
    });
    QObject::connect(&search, &CToolSearchQt::processing, [&](const QString&) { events << "folder"; });
    QEventLoop loop;
    QObject::connect(&search, &CToolSearchQt::finished, [&] {
        events << "finished";
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(search.Start(QString::fromStdString(dir.Path()), "viewer"));
    loop.exec();
    EXPECT_TRUE(sameThread);
    EXPECT_EQ(events.filter("found"), (QStringList{"found /a/viewer.exe", "found /b/c/viewer.exe"}));
    EXPECT_EQ(events.last(), "finished");
    EXPECT_EQ(events.count("folder"), 5); // root, plugins, a, b, b/c
    EXPECT_TRUE(search.IsIdle());
}
