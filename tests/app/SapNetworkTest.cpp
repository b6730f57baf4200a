#include "app/SapNetworkQt.h"
#include "directory/SessionStore.h"
#include "sap/EncryptionGroups.h"
#include "support/FakePrompter.h"
#include "support/FakeViews.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUdpSocket>

namespace {

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

// A directory announced in a directory gets a socket of its own; its
// deletion, heard on the parent's socket, closes that socket.
TEST(SapNetwork, DatagramsReachTheirDirectoryWhileItsSocketIsOpen)
{
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("talmira_tests_app"), nullptr};
    // Lives until the program ends; another test may have made it first.
    [[maybe_unused]] static auto* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    CTestEnv t;
    CFakePrompter prompter;
    CFakeExit exit;
    CEncryptionGroups groups;
    CQtSapNetwork network{groups, t.env};
    CFakeViews views;
    auto doc = std::make_unique<CSessionStore>(CStorePorts{t.clock, t.random, prompter, exit, network, &views});
    network.SetDocument(doc.get());
    const quint16 port = FreePort(), subPort = FreePort();
    QUdpSocket sender;
    // Unicast to the bound port reaches the directory's socket as well.
    const auto send = [&](uint8_t flags, const std::string& sdp, quint16 to) {
        sender.writeDatagram(QByteArray(1, char(flags)) + QByteArray(7, '\0') + QByteArray::fromStdString(sdp),
                             QHostAddress::LocalHost, to);
    };

    auto top = t.Parse("v=0\no=- 900 1 IN IP4 h\ns=Top\nm=directory " + std::to_string(port)
                       + " SAP/SDP 14\nc=IN IP4 239.255.77.1/1\n");
    doc->AddSession(top, nullptr);
    send(0x20, "v=0\no=- 2 1 IN IP4 h\ns=Sub\nm=directory " + std::to_string(subPort)
                   + " SAP/SDP 14\nc=IN IP4 239.255.77.2/1\n", port);
    ASSERT_TRUE(Await([&] { return top->links->children->Size() == 1; }));
    auto sub = top->links->children->Front();
    EXPECT_EQ(sub->name, "Sub");
    EXPECT_EQ(sub->parentDirectory.lock(), top);
    ASSERT_NE(sub->links->directoryReceiver, nullptr);
    const std::string deep = "v=0\no=- 3 1 IN IP4 h\ns=Deep\n";
    send(0x20, deep, subPort);
    ASSERT_TRUE(Await([&] { return sub->links->children->Size() == 1; }));

    send(0x24, "v=0\no=- 2 1 IN IP4 h\ns=Sub\n", port);
    EXPECT_TRUE(Await([&] { return top->links->children->Empty(); }));
    EXPECT_TRUE(sub->IsDeleting() && !sub->links->directoryReceiver && sub->links->children->Empty());
    // The sub-directory's port hears nothing any more; the parent still does.
    send(0x20, deep, subPort);
    send(0x20, "v=0\no=- 4 1 IN IP4 h\ns=After\n", port);
    EXPECT_TRUE(Await([&] { return top->links->children->Size() == 1; }));
    EXPECT_TRUE(sub->links->children->Empty());

    // Sending needs an open socket and a valid TTL.
    auto& socket = *top->links->directoryReceiver;
    EXPECT_EQ(std::tuple(network.SetMulticastTtl(socket, 256), network.SetMulticastTtl(socket, -1),
                         network.SetMulticastTtl(socket, 1)), std::tuple(false, false, true));
    network.CloseSocket(socket);
    EXPECT_FALSE(network.SetMulticastTtl(socket, 15) || network.SendDatagram(socket, "x"));
    doc.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
