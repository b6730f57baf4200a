#include "web/WebHandlers.h"
#include "web/WebServer.h"
#include "web/WebState.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {
// A plain client socket, so the tests can misbehave the way attackers do.
class CClient {
public:
    explicit CClient(int port, int receiveBuffer = 0)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer)
            setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~CClient() { close(m_fd); }
    bool connected = false;

    bool Send(const std::string& bytes) { return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size()); }
    // What arrives until the server closes or `wait` passes without a byte.
    std::string Read(std::chrono::milliseconds wait = 3000ms, const std::string& until = "")
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char buffer[65536];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
            if (!until.empty() && got.find(until) != std::string::npos)
                break;
        }
        return got;
    }
    bool ClosedByServer(std::chrono::milliseconds wait)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0)
            return false;
        char c;
        return recv(m_fd, &c, 1, MSG_PEEK) <= 0;
    }

private:
    int m_fd = -1;
};

std::string Get(const std::string& path, const std::string& extra = "")
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}
} // namespace

class WebServerTest : public ::testing::Test {
protected:
    CWebState state{"srv"};
    CWebLimits limits{.maxConnections = 40, .maxPerClient = 20, .maxStreamClients = 3, .headTimeout = 400ms,
                      .requestTimeout = 2000ms, .writeTimeoutSeconds = 1, .streamKeepAlive = 200ms};
    std::unique_ptr<CWebServer> server;
    void Start(const std::string& origin = "")
    {
        server = std::make_unique<CWebServer>(state, CWebAssets{"<html>", "b{}", "1;"}, limits);
        if (!origin.empty())
            server->SetAllowOrigin(origin);
        std::string error;
        ASSERT_TRUE(server->Start("127.0.0.1", 0, &error)) << error;
    }
    std::string Ask(const std::string& request)
    {
        CClient c(server->Port());
        EXPECT_TRUE(c.connected);
        c.Send(request);
        return c.Read();
    }
};

TEST_F(WebServerTest, AnswersCarryTheSafetyHeadersAndNoCorsUnlessAsked)
{
    Start();
    const std::string page = Ask(Get("/"));
    EXPECT_TRUE(page.starts_with("HTTP/1.1 200")) << page;
    EXPECT_NE(page.find("X-Content-Type-Options: nosniff"), std::string::npos);
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'none'; script-src 'self';"), std::string::npos);
    EXPECT_EQ(page.find("unsafe-inline"), std::string::npos);
    EXPECT_EQ(page.find("Access-Control-Allow-Origin"), std::string::npos);
    EXPECT_TRUE(page.ends_with("<html>"));
    const std::string missing = Ask(Get("/nothing"));
    EXPECT_TRUE(missing.starts_with("HTTP/1.1 404")) << missing;
    EXPECT_NE(missing.find("nosniff"), std::string::npos);
    server->Stop();
    server.reset();
    Start("https://wall.example.org");
    EXPECT_NE(Ask(Get("/api/v1/columns")).find("Access-Control-Allow-Origin: https://wall.example.org\r\n"), std::string::npos);
}

TEST_F(WebServerTest, NothingChangesThroughHttp)
{
    Start();
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH"}) {
        const std::string r = Ask(std::string(method) + " /api/v1/directories HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}");
        EXPECT_TRUE(r.starts_with("HTTP/1.1 405")) << method << ": " << r;
    }
}

TEST_F(WebServerTest, OversizedHeadsAndBodiesAreRefused)
{
    Start();
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += "X-H" + std::to_string(i) + ": v\r\n";
    EXPECT_TRUE(Ask(Get("/", many)).starts_with("HTTP/1.1 431"));
    EXPECT_TRUE(Ask(Get("/", "X-Big: " + std::string(20000, 'a') + "\r\n")).starts_with("HTTP/1.1 431"));
    EXPECT_TRUE(Ask(Get("/" + std::string(17000, 'a'))).starts_with("HTTP/1.1 431"));
    // A 10 MB body announced: refused before it is read (or cut off by the
    // gate once it passes what any request may carry).
    CClient big(server->Port());
    big.Send("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 10485760\r\n\r\n");
    const std::string chunk(65536, 'z');
    for (int i = 0; i < 160 && big.Send(chunk); ++i) {
    }
    const std::string answer = big.Read(3000ms);
    EXPECT_TRUE(answer.empty() || answer.starts_with("HTTP/1.1 413")) << answer.substr(0, 40);
    EXPECT_TRUE(Ask(Get("/")).starts_with("HTTP/1.1 200")); // and the server goes on
}

TEST_F(WebServerTest, SlowClientsAreCutAtTheirDeadline)
{
    Start();
    CClient idle(server->Port());
    CClient slow(server->Port());
    slow.Send("GET / HTTP/1.1\r\n");
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(150ms);
    slow.Send("X-A: 1\r\n");
    EXPECT_TRUE(slow.Read(2000ms).starts_with("HTTP/1.1 408"));
    EXPECT_TRUE(idle.Read(2000ms).starts_with("HTTP/1.1 408"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3000ms); // cut at 400 ms, not left open
    EXPECT_GE(state.timedOutConnections.load(), 2u);
}

TEST_F(WebServerTest, ConnectionsAreBoundedPerClient)
{
    limits.headTimeout = 10s; // the held connections stay until the end
    Start();
    std::vector<std::unique_ptr<CClient>> held;
    for (size_t i = 0; i < limits.maxPerClient; ++i)
        held.push_back(std::make_unique<CClient>(server->Port()));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(Ask(Get("/")).starts_with("HTTP/1.1 503"));
    EXPECT_GE(state.refusedConnections.load(), 1u);
    held.clear();
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(Ask(Get("/")).starts_with("HTTP/1.1 200"));
}

TEST_F(WebServerTest, EventStreamSendsNumberedEventsAndResumes)
{
    Start();
    state.Events().Append("added", R"({"id":"a"})");
    CClient stream(server->Port());
    stream.Send(Get("/api/v1/events"));
    const std::string greeting = stream.Read(1000ms, ": talmira");
    EXPECT_NE(greeting.find("Content-Type: text/event-stream"), std::string::npos) << greeting;
    EXPECT_NE(greeting.find("retry: 1000"), std::string::npos);
    state.Events().Append("removed", R"({"id":"b"})");
    EXPECT_NE(stream.Read(2000ms, "\n\n").find("id: srv-2\nevent: removed\ndata: {\"id\":\"b\"}\n\n"), std::string::npos);
    // A keep-alive comment while nothing happens.
    EXPECT_NE(stream.Read(1000ms, "keep-alive").find(": keep-alive"), std::string::npos);

    CClient resumed(server->Port());
    resumed.Send(Get("/api/v1/events", "Last-Event-ID: srv-0\r\n"));
    const std::string replay = resumed.Read(1500ms, "srv-2\nevent: removed");
    EXPECT_NE(replay.find("id: srv-1\nevent: added"), std::string::npos) << replay;
    EXPECT_NE(replay.find("id: srv-2\nevent: removed"), std::string::npos);

    CClient stranger(server->Port());
    stranger.Send(Get("/api/v1/events?after=other-5"));
    EXPECT_NE(stranger.Read(1500ms, "event: reset").find("id: srv-2\nevent: reset"), std::string::npos);
}

TEST_F(WebServerTest, EventStreamClientsAreBoundedAndStopEndsThem)
{
    Start();
    std::vector<std::unique_ptr<CClient>> streams;
    for (size_t i = 0; i < limits.maxStreamClients; ++i) {
        streams.push_back(std::make_unique<CClient>(server->Port()));
        streams.back()->Send(Get("/api/v1/events"));
        streams.back()->Read(1000ms, ": talmira");
    }
    EXPECT_EQ(state.streamClients.load(), int(limits.maxStreamClients));
    EXPECT_TRUE(Ask(Get("/api/v1/events")).starts_with("HTTP/1.1 503"));
    const auto started = std::chrono::steady_clock::now();
    server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2000ms);
    for (auto& s : streams)
        EXPECT_TRUE(s->ClosedByServer(500ms));
}

// A client that never reads its stream costs a bounded buffer: it is
// dropped once its writes stall, and appending never waits for it.
TEST_F(WebServerTest, AStreamNobodyReadsIsDroppedWithoutHoldingTheWriter)
{
    Start();
    CClient deaf(server->Port(), 4096);
    deaf.Send(Get("/api/v1/events"));
    std::this_thread::sleep_for(200ms);
    const QByteArray payload(2000, 'p');
    auto slowest = std::chrono::steady_clock::duration::zero();
    for (int i = 0; i < 10000; ++i) {
        const auto before = std::chrono::steady_clock::now();
        state.Events().Append("added", payload);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - before);
        if (i % 100 == 99)
            std::this_thread::sleep_for(20ms); // 10,000 events over two seconds
    }
    EXPECT_LT(slowest, 250ms); // a writer held by the client would wait seconds
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (state.streamClients.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(state.streamClients.load(), 0);
    EXPECT_TRUE(Ask(Get("/")).starts_with("HTTP/1.1 200"));
}

TEST(WebServerHostTest, LoopbackIsTold)
{
    for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "localhost"})
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "localhost.example.org", ""})
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
}

// Every stream holds a connection for as long as it lasts: streams up to
// the limit and ordinary requests beside them are all served at once.
TEST_F(WebServerTest, ManyStreamsAndRequestsAreServedTogether)
{
    limits.maxStreamClients = 30;
    Start();
    std::vector<std::unique_ptr<CClient>> streams;
    for (int i = 0; i < 16; ++i) {
        streams.push_back(std::make_unique<CClient>(server->Port()));
        streams.back()->Send(Get("/api/v1/events"));
    }
    for (auto& s : streams)
        EXPECT_NE(s->Read(2000ms, ": talmira").find(": talmira"), std::string::npos);
    EXPECT_TRUE(Ask(Get("/api/v1/columns")).starts_with("HTTP/1.1 200"));
    state.Events().Append("added", "{}");
    for (auto& s : streams)
        EXPECT_NE(s->Read(2000ms, "event: added").find("event: added"), std::string::npos);
}
