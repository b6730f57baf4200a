#pragma once
// Shared by the tests of the desktop program's windows, offscreen: the
// headers they use, the one application object, the program on an install
// of its own with its window up, and a driver for modal dialogs.
#include "app/QtSettingsStore.h"
#include "base/Clock.h"
#include "directory/AdminScope.h"
#include "directory/SessionStore.h"
#include "gui/DesktopApp.h"
#include "gui/MainFrame.h"
#include "support/FakePrompter.h"
#include "support/FakeViews.h"
#include "support/TestEnv.h"
#include "support/TestInstall.h"
#include "sdp/SessionList.h"

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <tuple>

namespace fs = std::filesystem;

// Made on first use and kept for the whole test program.
inline QApplication& GuiApplication()
{
    static int argc = 1;
    static char name[] = "talmira_tests_gui";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
    return *qApp;
}

// The texts of a list's items, top to bottom.
inline QStringList ItemTexts(const QListWidget& list)
{
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
}

// Shows the window and waits until it is the active one, so keys reach it.
inline void ShowActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Runs `act` on the first modal dialog of type T once it is up (and `ready`
// says so): a modal loop cannot be driven from the test's own code. One
// that never comes fails the test and the modal widget in front is
// rejected, so nothing hangs.
template <class T>
void OnModal(std::function<void(T&)> act, std::function<bool(T&)> ready = {})
{
    auto* poll = new QTimer;
    auto* waited = new QElapsedTimer;
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, act, ready] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        const bool up = dialog && (!ready || ready(*dialog));
        if (!up && waited->elapsed() <= 15000)
            return;
        poll->stop();
        poll->deleteLater();
        delete waited;
        if (up)
            return act(*dialog);
        ADD_FAILURE() << "the expected dialog did not come up";
        if (auto* front = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            front->reject();
    });
    poll->start(10);
}

// The desktop program on an install directory and settings file of its own.
class CDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApplication();
        ASSERT_TRUE(setup.ok);
    }
    // Starts the program with its window shown and active. One that does not
    // come up ends the test (the exception fails it).
    static CMainFrame& StartShown(CDesktopApp& app)
    {
        if (!app.Start(CCommandLine()) || !app.Window())
            throw std::runtime_error("the program did not start");
        CMainFrame& window = *app.Window();
        window.show();
        if (!QTest::qWaitForWindowActive(&window))
            throw std::runtime_error("the main window did not become active");
        return window;
    }
    // The item below `parent` that reads `text`, or an invalid index.
    static QModelIndex Child(const QAbstractItemModel& model, const QModelIndex& parent, const QString& text)
    {
        for (int row = 0; row < model.rowCount(parent); ++row)
            if (model.index(row, 0, parent).data().toString() == text)
                return model.index(row, 0, parent);
        return {};
    }
    // Starts the program shown, with the TTL Scope picked in the tree.
    static CMainFrame& ShowTtlScope(CDesktopApp& app)
    {
        CMainFrame& window = StartShown(app);
        QTreeView& tree = window.TreeView();
        tree.setCurrentIndex(Child(*tree.model(), tree.model()->index(0, 0), "TTL Scope"));
        return window;
    }

    CTestInstall setup;
    CFakePrompter prompter;
    CFakeExit exit;
    CManualClock clock{1700000000};
};
