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
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <tuple>
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
        Read(wait); // what came before the end
        char c;
        return recv(m_fd, &c, 1, MSG_DONTWAIT) == 0;
    }

private:
    int m_fd = -1;
};

// The Host the server answers ("127.0.0.1:PORT"), set as it starts.
std::string g_host;

std::string Get(const std::string& path, const std::string& extra = "")
{
    return "GET " + path + " HTTP/1.1\r\nHost: " + g_host + "\r\n" + extra + "\r\n";
}
} // namespace

class WebServerTest : public ::testing::Test {
protected:
    CWebState state{"srv"};
    CWebLimits limits{.maxConnections = 40, .maxPerClient = 20, .maxStreamClients = 3, .headTimeout = 400ms,
                      .requestTimeout = 2000ms, .writeTimeoutSeconds = 1, .streamKeepAlive = 200ms};
    std::unique_ptr<CWebServer> server;
    void Start(const std::string& origin = "", std::vector<std::string> names = {}, std::string token = "")
    {
        server = std::make_unique<CWebServer>(state, CWebAssets{"<html>", "b{}", "1;"}, limits);
        server->SetAccess(std::move(names), std::move(token));
        if (!origin.empty())
            server->SetAllowOrigin(origin);
        std::string error;
        ASSERT_TRUE(server->Start("127.0.0.1", 0, &error)) << error;
        g_host = "127.0.0.1:" + std::to_string(server->Port());
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

// Only the page's own orders pass: JSON, from no other origin, to the two
// paths that take them, and beyond loopback with the token.
TEST_F(WebServerTest, OnlyThePagesOwnOrdersPass)
{
    std::vector<std::string> orders;
    state.SetCommands([&](const std::string& path, const QJsonObject& body) {
        orders.push_back(path + " " + std::to_string(body.size()));
        return CWebState::CCommandResult{200, "{}"};
    });
    const std::string json = "Content-Type: application/json\r\n", token(32, 'f');
    const std::tuple<const char*, const char*, std::string, const char*, std::string> cases[] = {
        {"PUT", "/api/v1/directories", json, "{}", ""},           {"DELETE", "/api/v1/watch", json, "{}", ""},
        {"POST", "/api/v1/directories", json, "{}", ""},          {"POST", "/api/v1/watch", "", "{}", ""},
        {"POST", "/api/v1/watch", "Content-Type: text/plain\r\n", "{}", ""},
        {"POST", "/api/v1/watch", json + "Origin: http://evil.example\r\n", "{}", ""},
        {"POST", "/api/v1/watch", json, "{\"session\":", ""},   {"POST", "/api/v1/watch", json, "[1]", ""},
        {"POST", "/api/v1/alarms/acknowledge", json, "{\"all\":true}", token},
        {"POST", "/api/v1/watch", json + "Origin: http://HOST\r\n", "{\"a\":1}", ""},
        {"POST", "/api/v1/alarms/acknowledge", json, "{}", ""}};
    const char* answers[] = {"405", "405", "405", "415", "415", "403", "400", "400", "401", "200", "200"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& [method, path, headers, body, key] = cases[i];
        Start("", {}, key);
        std::string head = headers;
        if (const size_t at = head.find("HOST"); at != std::string::npos)
            head.replace(at, 4, g_host);
        const std::string r = Ask(std::string(method) + " " + path + " HTTP/1.1\r\nHost: " + g_host + "\r\n" + head
                                  + "Content-Length: " + std::to_string(std::strlen(body)) + "\r\n\r\n" + body);
        EXPECT_TRUE(r.starts_with(std::string("HTTP/1.1 ") + answers[i])) << method << " " << path << " " << head << body << ": " << r;
        server.reset();
    }
    EXPECT_EQ(orders, (std::vector<std::string>{"/api/v1/watch 1", "/api/v1/alarms/acknowledge 0"}));
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
    // Lines end in CRLF alone: a bare LF is refused at once, not waited on.
    EXPECT_TRUE(Ask("GET / HTTP/1.1\nHost: " + g_host + "\n\n").starts_with("HTTP/1.1 400"));
    // A 10 MB body announced: refused before it is read (or cut off by the
    // gate once it passes what any request may carry).
    CClient big(server->Port());
    big.Send("POST / HTTP/1.1\r\nHost: " + g_host + "\r\nContent-Length: 10485760\r\n\r\n");
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

// A head that waits for its end costs nothing meanwhile: the gate sleeps
// until more comes, it does not look at what it has again and again.
TEST_F(WebServerTest, WaitingHeadsCostNoTime)
{
    limits.headTimeout = 5s;
    limits.maxPerClient = 40;
    Start();
    std::vector<std::unique_ptr<CClient>> waiting;
    for (int i = 0; i < 40; ++i) {
        waiting.push_back(std::make_unique<CClient>(server->Port()));
        waiting.back()->Send("GET /" + std::string(15000, 'a'));
    }
    std::this_thread::sleep_for(200ms);
    const auto cpu = [] { return std::chrono::nanoseconds(std::clock() * (1000000000 / CLOCKS_PER_SEC)); };
    const auto before = cpu();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(cpu() - before, 20ms);
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
    limits.streamKeepAlive = 20s;
    Start();
    std::vector<std::unique_ptr<CClient>> streams;
    for (size_t i = 0; i < limits.maxStreamClients; ++i) {
        streams.push_back(std::make_unique<CClient>(server->Port()));
        streams.back()->Send(Get("/api/v1/events"));
        streams.back()->Read(1000ms, ": talmira");
    }
    EXPECT_EQ(state.streamClients.load(), int(limits.maxStreamClients));
    EXPECT_TRUE(Ask(Get("/api/v1/events")).starts_with("HTTP/1.1 503"));
    // A client that leaves frees its slot at once, not at the next keep-alive
    // (20 s); a loaded machine may take a moment to tell.
    streams.pop_back();
    for (int i = 0; i < 300 && state.streamClients.load() == int(limits.maxStreamClients); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(state.streamClients.load(), int(limits.maxStreamClients) - 1);
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

// Only the Hosts the server is reached as are answered (no page of another
// site can read it through a name that turns into our address), and with a
// token only those who hold it.
TEST_F(WebServerTest, OnlyItsHostsAndTokenHoldersAreAnswered)
{
    const std::string token(32, 'f');
    struct CCase {
        std::vector<std::string> names;
        std::string token, target, host, extra, answer;
    };
    const CCase cases[] = {
        {{}, "", "/", "PORT", "", "HTTP/1.1 200"},
        {{}, "", "/", "localhost:PORT", "", "HTTP/1.1 200"},
        {{}, "", "/", "[::1]:PORT", "", "HTTP/1.1 200"},
        {{}, "", "/", "evil.example:PORT", "", "HTTP/1.1 421"},
        {{}, "", "/", "127.0.0.1", "", "HTTP/1.1 421"},
        {{}, "", "/", "", "", "HTTP/1.1 421"},
        {{}, "", "/", "PORT", "Host: PORT\r\n", "HTTP/1.1 400"},
        {{}, "", "http://evil.example/", "PORT", "", "HTTP/1.1 400"},
        {{"Wall.Example"}, "", "/", "wall.example:PORT", "", "HTTP/1.1 200"},
        {{}, token, "/api/v1/columns", "PORT", "", "HTTP/1.1 401"},
        {{}, token, "/api/v1/columns", "PORT", "Authorization: Bearer " + token + "\r\n", "HTTP/1.1 200"},
        {{}, token, "/api/v1/columns", "PORT", "Authorization: Bearer " + std::string(32, 'e') + "\r\n", "HTTP/1.1 401"},
        {{}, token, "/api/v1/columns", "PORT", "Cookie: a=b; talmira_token=" + token + "\r\n", "HTTP/1.1 200"},
        {{}, token, "/?token=" + token + "&x=1", "PORT", "",
         "HTTP/1.1 303 See Other\r\nLocation: /?x=1\r\nSet-Cookie: talmira_token=" + token + "; Path=/; HttpOnly; SameSite=Strict\r\n"},
        {{}, token, "/?token=" + std::string(32, 'e'), "PORT", "", "HTTP/1.1 401"},
        {{}, token, "/api/v1/columns?token=" + token, "PORT", "", "HTTP/1.1 200"},
    };
    for (const CCase& c : cases) {
        Start("", c.names, c.token);
        const auto port = [&](std::string text) {
            if (const size_t at = text.find("PORT"); at != std::string::npos)
                text.replace(at, 4, at == 0 ? g_host : std::to_string(server->Port()));
            return text;
        };
        const std::string host = c.host.empty() ? "" : "Host: " + port(c.host) + "\r\n";
        const std::string answer = Ask("GET " + c.target + " HTTP/1.1\r\n" + host + port(c.extra) + "\r\n");
        EXPECT_TRUE(answer.starts_with(c.answer)) << c.target << " " << c.host << " " << c.extra << ": " << answer;
        server.reset();
    }
}

TEST(WebServerHostTest, LoopbackIsTold)
{
    for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "localhost"})
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "localhost.example.org", ""})
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
    // An IPv6 host owns its /64: the per-client limit counts it once.
    const auto key = [](const char* address) {
        sockaddr_storage s{};
        s.ss_family = AF_INET6;
        inet_pton(AF_INET6, address, &reinterpret_cast<sockaddr_in6*>(&s)->sin6_addr);
        return ClientKey(s);
    };
    EXPECT_EQ(key("2001:db8::1"), key("2001:db8::ffff:1:2"));
    EXPECT_NE(key("2001:db8::1"), key("2001:db8:0:1::1"));
    EXPECT_EQ(key("::ffff:10.0.0.1"), "10.0.0.1");
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
