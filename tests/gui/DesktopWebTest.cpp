#include "app/QtSettingsStore.h"
#include "directory/SessionStore.h"
#include "gui/DesktopApp.h"
#include "web/WebService.h"
#include "support/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One GET on loopback, its whole answer.
std::string HttpGet(int port, const std::string& path)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
        (void)send(fd, request.data(), request.size(), 0);
        timeval wait{3, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
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

TEST_F(DesktopWebTest, TheDesktopServesOnlyWhenItsSettingSaysSo)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    EXPECT_EQ(app.Web(), nullptr);
}

TEST_F(DesktopWebTest, TheDesktopServesTheDirectoryItShows)
{
    Serve("127.0.0.1:0");
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    ASSERT_NE(app.Web(), nullptr);
    ASSERT_TRUE(app.Web()->Serving());
    const int port = app.Web()->Port();
    CSessionStore& doc = app.Runtime().Doc();
    auto session = CSDPObject::FromText("v=0\no=- 4711 1 IN IP4 10.0.0.1\ns=Served from the desktop\n"
                                        "c=IN IP4 224.2.17.12/127\nt=0 0\nm=audio 49170 RTP/AVP 0\n",
                                        doc.Environment());
    doc.AddSession(session, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(HttpGet(port, "/api/v1/directories/main/sessions").find("Served from the desktop")
                                 != std::string::npos, 3000);
    EXPECT_NE(HttpGet(port, "/").find("Content-Security-Policy"), std::string::npos);
    EXPECT_TRUE(app.Close());
    EXPECT_EQ(app.Web(), nullptr);
    EXPECT_TRUE(HttpGet(port, "/").empty());
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(DesktopWebTest, AnAddressThatCannotServeLeavesTheWindowAlone)
{
    Serve("not an address");
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    EXPECT_EQ(app.Web(), nullptr);
    EXPECT_NE(app.Window(), nullptr);
    EXPECT_TRUE(prompter.shown.empty());
}

} // namespace
