#include "web/WebService.h"
#include "support/GuiTestSupport.h"

#include <QTcpSocket>

namespace {

// One GET on loopback, its whole answer.
std::string HttpGet(int port, const std::string& path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    std::string answer;
    if (socket.waitForConnected(3000))
        socket.write(("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n").c_str());
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000))
        answer += socket.readAll().toStdString();
    return answer;
}

class DesktopWebTest : public CDesktopTest {
protected:
    void Serve(const std::string& address)
    {
        CQtSettingsStore store(setup.tmp.path() + "/Talmira.ini");
        ASSERT_TRUE(store.CreateKey("Talmira/Server"));
        ASSERT_TRUE(store.WriteNumber("Talmira/Server", "Serve", 1));
        ASSERT_TRUE(store.WriteText("Talmira/Server", "Address", address));
    }
};

TEST_F(DesktopWebTest, TheDesktopServesTheDirectoryItShows)
{
    Serve("127.0.0.1:0");
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    ASSERT_TRUE(app.Web() && app.Web()->Serving());
    const int port = app.Web()->Port();
    CSessionStore& doc = app.Runtime().Doc();
    auto session = CSDPObject::FromText("v=0\no=- 4711 1 IN IP4 10.0.0.1\ns=Served from the desktop\n"
                                        "c=IN IP4 224.2.17.12/127\nt=0 0\nm=audio 49170 RTP/AVP 0\n",
                                        doc.Environment());
    doc.AddSession(session, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(HttpGet(port, "/api/v1/directories/main/sessions").find("Served from the desktop")
                                 != std::string::npos, 3000);
    EXPECT_NE(HttpGet(port, "/").find("Content-Security-Policy"), std::string::npos);
    EXPECT_TRUE(app.Close() && !app.Web() && prompter.shown.empty());
    EXPECT_TRUE(HttpGet(port, "/").empty());
}

// Without the setting nothing serves; an address that cannot serve leaves
// the window alone.
TEST_F(DesktopWebTest, NoServerWithoutTheSettingOrWithABadAddress)
{
    for (const bool set : {false, true}) {
        if (set)
            Serve("not an address");
        CDesktopApp app(prompter, exit, &clock);
        ASSERT_TRUE(app.Start(CCommandLine()));
        EXPECT_TRUE(!app.Web() && app.Window() && prompter.shown.empty()) << set;
    }
}

} // namespace
