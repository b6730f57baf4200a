#include "app/SapNetworkQt.h"
#include "directory/Ostara32Doc.h"
#include "sap/EncryptionGroups.h"
#include "support/FakePrompter.h"
#include "support/FakeViews.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUdpSocket>

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "talmira_tests_app";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                : new QCoreApplication(argc, argv);
    return *app;
}

// Runs the event loop until `done` or two seconds passed.
template <class F>
bool Await(F done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

quint16 FreePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

class SapNetworkTest : public ::testing::Test {
protected:
    SapNetworkTest() { App(); }
    ~SapNetworkTest() override
    {
        doc.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CTestEnv t;
    CFakePrompter prompter;
    CFakeExit exit;
    CEncryptionGroups groups;
    CQtSapNetwork network{groups, t.env};
    CFakeViews views;
    std::unique_ptr<COstara32Doc> doc = [this] {
        auto d = std::make_unique<COstara32Doc>(CDocPorts{t.clock, t.random, prompter, exit, network, &views});
        network.SetDocument(d.get());
        return d;
    }();
    quint16 port = FreePort();
    QUdpSocket sender;

    std::shared_ptr<CSDPObject> AddDirectory(const std::string& id)
    {
        auto dir = t.Parse("v=0\no=- " + id + " 1 IN IP4 h\ns=Dir " + id + "\nm=directory " + std::to_string(port)
                           + " SAP/SDP 14\nc=IN IP4 239.255.77.1/1\n");
        doc->AddSession(dir, nullptr);
        return dir;
    }
    // Unicast to the bound port reaches the directory's socket as well.
    void Send(uint8_t flags, const std::string& sdp, quint16 to = 0)
    {
        QByteArray datagram(8, '\0');
        datagram[0] = static_cast<char>(flags);
        datagram.append(sdp.data(), static_cast<qsizetype>(sdp.size()));
        sender.writeDatagram(datagram, QHostAddress::LocalHost, to ? to : port);
    }
};

// A directory announced in a directory gets a socket of its own; its
// deletion, heard on the parent's socket, closes that socket.
TEST_F(SapNetworkTest, AnnouncementsAndDeletionsReachTheirDirectoryWhileItsSocketLives)
{
    auto top = AddDirectory("900");
    const quint16 subPort = FreePort();
    Send(0x20, "v=0\no=- 2 1 IN IP4 h\ns=Sub\nm=directory " + std::to_string(subPort)
                   + " SAP/SDP 14\nc=IN IP4 239.255.77.2/1\n");
    ASSERT_TRUE(Await([&] { return top->children->Size() == 1; }));
    auto sub = top->children->Front();
    EXPECT_EQ(sub->name, "Sub");
    EXPECT_EQ(sub->parentDirectory.lock(), top);
    ASSERT_NE(sub->directoryReceiver, nullptr);
    const std::string deep = "v=0\no=- 3 1 IN IP4 h\ns=Deep\n";
    Send(0x20, deep, subPort);
    ASSERT_TRUE(Await([&] { return sub->children->Size() == 1; }));

    Send(0x24, "v=0\no=- 2 1 IN IP4 h\ns=Sub\n");
    EXPECT_TRUE(Await([&] { return top->children->Empty(); }));
    EXPECT_TRUE(sub->IsDeleting());
    EXPECT_EQ(sub->directoryReceiver, nullptr);
    EXPECT_TRUE(sub->children->Empty());
    // The sub-directory's port hears nothing any more; the parent still does.
    Send(0x20, deep, subPort);
    Send(0x20, "v=0\no=- 4 1 IN IP4 h\ns=After\n");
    EXPECT_TRUE(Await([&] { return top->children->Size() == 1; }));
    EXPECT_TRUE(sub->children->Empty());
}

TEST_F(SapNetworkTest, SendingNeedsAnOpenSocketAndAValidTtl)
{
    auto& socket = *AddDirectory("900")->directoryReceiver;
    EXPECT_FALSE(network.SetMulticastTtl(socket, 256));
    EXPECT_FALSE(network.SetMulticastTtl(socket, -1));
    EXPECT_TRUE(network.SetMulticastTtl(socket, 1));
    network.CloseSocket(socket);
    EXPECT_FALSE(network.SetMulticastTtl(socket, 15));
    EXPECT_FALSE(network.SendDatagram(socket, "x"));
}

} // namespace
