#include "sap/EncryptionGroups.h"
#include "sap/qt/SAPSocket.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUdpSocket>

#include <chrono>
#include <thread>

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("talmira_tests_app"), nullptr};
    static auto* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
    return *QCoreApplication::instance();
}

// A directory's socket on a free port, datagrams sent to it by unicast on
// loopback, and a count of what its handler was given.
class SapSocketTest : public ::testing::Test {
protected:
    CTestEnv t;
    CEncryptionGroups groups;
    CSAPSocket socket{groups, t.env};
    QUdpSocket sender;
    int handled = 0;

    SapSocketTest()
    {
        App();
        CSAPSocket::CConfig config;
        config.group = QHostAddress("239.255.77.9");
        QUdpSocket probe;
        probe.bind(QHostAddress::AnyIPv4, 0);
        config.port = probe.localPort();
        probe.close();
        EXPECT_TRUE(socket.OpenSAPSocket(config, {}));
    }
    void Send(int count)
    {
        for (int i = 0; i < count; ++i) {
            const std::string sdp = "v=0\no=- " + std::to_string(i) + " 1 IN IP4 h\ns=S" + std::to_string(i) + "\n";
            sender.writeDatagram(QByteArray(1, char(0x20)) + QByteArray(7, '\0') + QByteArray::fromStdString(sdp),
                                 QHostAddress::LocalHost, socket.Port());
        }
        // Loopback datagrams reach the socket through the kernel's own
        // queue: a moment for them to get there.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Runs the event loop until the handler was given something (or two
    // seconds passed), so the count is what the first notification read.
    void AwaitFirstNotification()
    {
        QElapsedTimer waited;
        waited.start();
        // One pass of the event loop at a time: with a time limit it would
        // go on taking notifications.
        while (handled == 0 && waited.elapsed() < 2000)
            QCoreApplication::processEvents();
    }
    bool Await(int count)
    {
        QElapsedTimer waited;
        waited.start();
        while (handled < count && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return handled == count;
    }
};

TEST_F(SapSocketTest, ANotificationReadsEverythingPendingAndStopsWhenClosed)
{
    QElapsedTimer clock;
    clock.start();
    qint64 first = -1, last = -1;
    socket.SetHandler([&](const CSapMessage& message, const QByteArray&) {
        EXPECT_EQ(message.action, ESapAction::Announce) << message.reason;
        // Its header says 0.0.0.0; it came from 127.0.0.1, which counts too.
        EXPECT_TRUE(message.record && message.record->announcedFrom != sap::OriginKey("0.0.0.0"));
        last = clock.nsecsElapsed();
        if (first < 0)
            first = last;
        ++handled;
    });
    // All of them in one pass, unless reading them took the whole budget
    // (a slow build on a busy machine). A pass also ends early for time the
    // handler does not see (the process waiting for the processor, or the
    // kernel late in queueing loopback datagrams), so a pass that looks
    // short is tried again, twice.
    bool whole = false;
    for (int attempt = 0; attempt < 3 && !whole; ++attempt) {
        handled = 0;
        first = -1;
        Send(200);
        AwaitFirstNotification();
        whole = handled == 200 || (handled > 1 && last - first >= CSAPSocket::kReadBudgetNs * 3 / 4);
        EXPECT_TRUE(Await(200)) << "the rest come with the next notifications";
    }
    EXPECT_TRUE(whole);

    // A handler that closes the socket (its directory went) ends the read.
    handled = 0;
    socket.SetHandler([&](const CSapMessage&, const QByteArray&) {
        if (++handled == 3)
            socket.Close();
    });
    Send(10);
    AwaitFirstNotification();
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 3);
}

TEST_F(SapSocketTest, AReadLongerThanItsBudgetLetsTheEventLoopRun)
{
    // Each datagram costs 2 ms here: a few fill the budget, the rest come in
    // later notifications, with the event loop's other work in between.
    socket.SetHandler([&](const CSapMessage&, const QByteArray&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ++handled;
    });
    Send(40);
    AwaitFirstNotification();
    EXPECT_GE(handled, 1);
    EXPECT_LT(handled, 10);
    EXPECT_TRUE(Await(40));
}

} // namespace
