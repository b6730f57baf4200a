#include "web/WebServer.h"

#include "base/RequestHead.h"
#include "web/WebAccess.h"
#include "web/WebHandlers.h"
#include "web/WebState.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <mutex>
#include <system_error>
#include <unordered_map>

// Clients never reach the HTTP library directly. A gate of our own accepts
// them, counts them (in all and per address), waits for a complete request
// head within its size, line and time bounds, and only then hands the bytes
// on to the library, which listens on a socket file only this process can
// reach, and relays the answer back. Whatever a client does (stay idle, send
// slowly, send a flood, stop reading) costs the gate a bounded buffer and
// time; the library only ever sees a prompt, well-behaved peer.
namespace {
using SteadyClock = std::chrono::steady_clock;
constexpr size_t kRelayBuffer = 64 * 1024;

std::string AddressText(const sockaddr_storage& addr)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a))
            inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text); // an IPv4 client of a dual-stack socket
        else
            inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    return text;
}

int PortOf(const sockaddr_storage& addr)
{
    return ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_port
                                            : reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
}

// Takes what the client sent that nobody will read: closing over unread
// bytes would reset the connection and lose the answer on its way.
void Drain(int sock)
{
    char buffer[4096];
    while (recv(sock, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

// A short refusal, then the end of the connection.
void Refuse(int sock, const char* response)
{
    Drain(sock);
    (void)send(sock, response, std::strlen(response), MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(sock, SHUT_WR);
    // Give the answer a moment to leave before the socket goes.
    pollfd p{sock, POLLIN, 0};
    poll(&p, 1, 50);
}

void SendAndClose(int sock, const char* response)
{
    Drain(sock);
    if (response)
        (void)send(sock, response, std::strlen(response), MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(sock, SHUT_RDWR);
    close(sock);
}

enum class EHead { Ready, TooLarge, Malformed, TooSlow, Closed };

// Reads until the request's head (up to its blank line) has arrived; the
// bytes read (the head, and whatever came after it) stay in `bytes` for the
// library, `scan` looks into them.
EHead ReadHead(int sock, const CWebLimits& limits, SteadyClock::time_point deadline, std::string& bytes,
               requesthead::CScan& scan)
{
    bytes.assign(limits.maxHeadBytes + 1, '\0');
    size_t have = 0;
    for (;;) {
        const ssize_t n = recv(sock, bytes.data() + have, bytes.size() - have, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return EHead::Closed;
        if (n > 0) {
            // Only a new line end can end the head or break a bound.
            const std::string_view fresh(bytes.data() + have, static_cast<size_t>(n));
            have += static_cast<size_t>(n);
            if (fresh.find_first_of("\r\n") != std::string_view::npos || have == bytes.size()) {
                scan = requesthead::Scan(std::string_view(bytes.data(), have), limits.maxHeadBytes, limits.maxHeaderLines);
                if (scan.state == requesthead::EState::TooLarge)
                    return EHead::TooLarge;
                if (scan.state == requesthead::EState::Malformed)
                    return EHead::Malformed;
                if (scan.state == requesthead::EState::Complete) {
                    bytes.resize(have);
                    return EHead::Ready;
                }
            }
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0)
            return EHead::TooSlow;
        pollfd p{sock, POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    }
}

int ConnectUnix(const std::string& path)
{
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// One direction of a relay: bytes read from one side wait here for the
// other side to take them.
struct CPipe {
    std::string bytes;
    size_t sent = 0;
    bool eof = false;     // the source side ended
    bool shut = false;    // the end was passed on
    size_t Pending() const { return bytes.size() - sent; }
    bool Room() const { return !eof && Pending() < kRelayBuffer; }
};

bool ReadInto(int from, CPipe& pipe, size_t* budget)
{
    char chunk[16384];
    size_t want = sizeof chunk;
    if (budget)
        want = std::min(want, *budget + 1);
    const ssize_t n = recv(from, chunk, want, MSG_DONTWAIT);
    if (n == 0) {
        pipe.eof = true;
        return true;
    }
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (budget) {
        if (static_cast<size_t>(n) > *budget)
            return false; // more than any request of ours may carry
        *budget -= static_cast<size_t>(n);
    }
    if (pipe.sent == pipe.bytes.size()) {
        pipe.bytes.clear();
        pipe.sent = 0;
    }
    pipe.bytes.append(chunk, static_cast<size_t>(n));
    return true;
}

bool WriteFrom(int to, CPipe& pipe)
{
    const ssize_t n = send(to, pipe.bytes.data() + pipe.sent, pipe.Pending(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    pipe.sent += static_cast<size_t>(n);
    return true;
}
// The library's own pool has a handful of threads, and every event stream
// holds one: behind the gate, which bounds the connections, each gets a
// thread of its own instead.
class CThreadPerConnection final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override
    {
        {
            std::lock_guard lock(m_lock);
            ++m_running;
        }
        auto run = [this, fn = std::move(fn)] {
            fn();
            std::lock_guard lock(m_lock);
            if (--m_running == 0)
                m_idle.notify_all();
        };
        try {
            std::thread(run).detach();
        } catch (const std::system_error&) {
            run(); // no thread to be had: served here, late rather than never
        }
    }
    void shutdown() override
    {
        std::unique_lock lock(m_lock);
        m_idle.wait(lock, [&] { return m_running == 0; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_idle;
    size_t m_running = 0;
};
} // namespace

class CWebServer::CImpl {
public:
    CImpl(CWebState& state, const CWebAssets& assets, const CWebLimits& limits)
        : state(state), handlers(state, assets), limits(limits)
    {
    }

    CWebState& state;
    CWebHandlers handlers;
    CWebLimits limits;
    std::string allowOrigin;
    std::vector<std::string> hostNames; // besides the address a connection came in on
    std::string token;
    httplib::Server http;
    std::string socketDir;
    std::string socketPath;
    int listener = -1;
    int wakeFd = -1;
    std::thread httpThread;
    std::atomic<bool> httpDone{false}; // the library's listen loop has returned
    std::thread acceptThread;

    struct CConnection {
        int fd = -1;
        std::string address;
    };
    std::mutex lock;
    std::condition_variable idle;
    std::list<CConnection> connections;
    std::unordered_map<std::string, size_t> perClient;
    size_t running = 0;
    bool stopping = false;

    void AddHeaders(httplib::Response& res) const
    {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self'; "
                       "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("X-Frame-Options", "DENY");
        if (!allowOrigin.empty()) {
            res.set_header("Access-Control-Allow-Origin", allowOrigin);
            res.set_header("Vary", "Origin");
        }
    }

    void AcceptLoop()
    {
        for (;;) {
            pollfd p[2] = {{listener, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (poll(p, 2, -1) < 0 && errno != EINTR)
                break;
            if (p[1].revents)
                break;
            if (!(p[0].revents & POLLIN))
                continue;
            sockaddr_storage addr{};
            socklen_t len = sizeof addr;
            const int fd = accept4(listener, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            // Answers and events go out as the library writes them; waiting
            // to fill a segment would hold an event back for a delayed ack.
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            Admit(fd, ClientKey(addr));
        }
    }

    void Admit(int fd, const std::string& address)
    {
        std::list<CConnection>::iterator self;
        {
            std::lock_guard guard(lock);
            size_t& mine = perClient[address];
            if (stopping || connections.size() >= limits.maxConnections || mine >= limits.maxPerClient) {
                if (mine == 0)
                    perClient.erase(address);
                ++state.refusedConnections;
                SendAndClose(fd, "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                return;
            }
            ++mine;
            ++running;
            self = connections.insert(connections.end(), {fd, address});
        }
        const auto release = [this, self] {
            std::lock_guard guard(lock);
            close(self->fd);
            if (--perClient[self->address] == 0)
                perClient.erase(self->address);
            connections.erase(self);
            if (--running == 0)
                idle.notify_all();
        };
        try {
            std::thread([this, self, release] {
                Serve(self->fd);
                release();
            }).detach();
        } catch (const std::system_error&) {
            ++state.refusedConnections; // out of threads: the client is turned away
            shutdown(self->fd, SHUT_RDWR);
            release();
        }
    }

    // The Host values a connection may name: the address and port it came
    // in on (the loopback names with a loopback one), and the names given.
    CWebAccess AccessFor(int client) const
    {
        CWebAccess access{{}, token};
        sockaddr_storage local{};
        socklen_t len = sizeof local;
        if (getsockname(client, reinterpret_cast<sockaddr*>(&local), &len) != 0)
            return access;
        const int port = PortOf(local);
        std::vector<std::string> names = hostNames;
        names.push_back(AddressText(local));
        if (IsLoopbackHost(names.back()))
            names.insert(names.end(), {"localhost", "127.0.0.1", "::1"});
        for (const std::string& name : names)
            for (std::string& value : CWebAccess::HostValues(name, port))
                access.hosts.push_back(std::move(value));
        return access;
    }

    void Serve(int client)
    {
        std::string bytes;
        requesthead::CScan scan;
        switch (ReadHead(client, limits, SteadyClock::now() + limits.headTimeout, bytes, scan)) {
        case EHead::Ready:
            break;
        case EHead::TooLarge:
            Refuse(client, "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        case EHead::Malformed:
            Refuse(client, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        case EHead::TooSlow:
            ++state.timedOutConnections;
            Refuse(client, "HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        case EHead::Closed:
            return;
        }
        const CWebAccess::CDecision decision = AccessFor(client).Check(scan.head);
        if (decision.verdict != CWebAccess::EVerdict::Allowed) {
            Refuse(client, AccessRefusal(decision.verdict, decision.location, token).c_str());
            return;
        }
        const int inner = ConnectUnix(socketPath);
        if (inner < 0)
            return;
        // An event stream lives as long as its client reads it; every other
        // answer has its time.
        const bool stream = scan.firstLine.starts_with("GET /api/v1/events");
        CPipe up;
        up.bytes = std::move(bytes);
        Relay(client, inner, stream, up);
        close(inner);
        // A stream's writer waits for events: told now, it finds its
        // client gone on its next write and frees its place at once.
        if (stream)
            state.Events().Nudge();
    }

    void Relay(int client, int inner, bool stream, CPipe& up)
    {
        CPipe down; // library to client; `up` holds what the client sent so far
        size_t budget = limits.maxHeadBytes + limits.maxBodyBytes - std::min(up.bytes.size(), limits.maxHeadBytes);
        const auto deadline = SteadyClock::now() + limits.requestTimeout;
        auto lastProgress = SteadyClock::now();
        const auto writeTimeout = std::chrono::seconds(limits.writeTimeoutSeconds);
        // A stream is let off the deadline only once the events route has
        // answered it: until then it is a request like any other.
        bool streaming = false;
        for (;;) {
            if (!up.shut && up.eof && up.Pending() == 0) {
                // A stream's client that hangs up is gone for good.
                if (streaming)
                    return;
                shutdown(inner, SHUT_WR);
                up.shut = true;
            }
            if (down.eof && down.Pending() == 0)
                return; // the answer is out
            // A client that has sent all it will is only watched while an
            // answer waits for it: its hang-up would wake every poll.
            pollfd p[2] = {{up.eof && !down.Pending() ? -1 : client, 0, 0}, {up.shut && down.eof ? -1 : inner, 0, 0}};
            if (up.Room())
                p[0].events |= POLLIN;
            if (down.Pending())
                p[0].events |= POLLOUT;
            if (down.Room())
                p[1].events |= POLLIN;
            if (up.Pending())
                p[1].events |= POLLOUT;
            const auto now = SteadyClock::now();
            if ((!streaming && now > deadline) || (down.Pending() && now - lastProgress > writeTimeout)) {
                ++state.timedOutConnections;
                shutdown(client, SHUT_RDWR);
                return;
            }
            if (poll(p, 2, 200) < 0 && errno != EINTR)
                return;
            {
                std::lock_guard guard(lock);
                if (stopping)
                    return;
            }
            if ((p[0].revents & (POLLERR | POLLNVAL)) || (p[1].revents & (POLLERR | POLLNVAL)))
                return;
            if ((p[0].revents & (POLLIN | POLLHUP)) && up.Room() && !ReadInto(client, up, &budget))
                return;
            if ((p[1].revents & (POLLIN | POLLHUP)) && down.Room() && !ReadInto(inner, down, nullptr))
                return;
            if (stream && !streaming && down.bytes.starts_with("HTTP/1.1 200 "))
                streaming = true;
            if (p[1].revents & POLLOUT && up.Pending() && !WriteFrom(inner, up))
                return;
            if (p[0].revents & POLLOUT && down.Pending()) {
                const size_t before = down.sent;
                if (!WriteFrom(client, down))
                    return;
                if (down.sent != before)
                    lastProgress = SteadyClock::now();
            }
            if (!down.Pending())
                lastProgress = SteadyClock::now();
        }
    }

    void ShutdownAll()
    {
        std::unique_lock guard(lock);
        stopping = true;
        for (CConnection& c : connections)
            ::shutdown(c.fd, SHUT_RDWR);
        idle.wait(guard, [&] { return running == 0; });
    }
};

std::string ClientKey(const sockaddr_storage& addr)
{
    // One IPv6 host holds a whole /64 (privacy addresses, or any it
    // likes): it counts as one client.
    if (addr.ss_family == AF_INET6) {
        sockaddr_storage prefix = addr;
        in6_addr& a = reinterpret_cast<sockaddr_in6*>(&prefix)->sin6_addr;
        if (!IN6_IS_ADDR_V4MAPPED(&a)) {
            std::fill(a.s6_addr + 8, a.s6_addr + 16, 0);
            return AddressText(prefix) + "/64";
        }
    }
    return AddressText(addr);
}

bool IsLoopbackHost(const std::string& host)
{
    if (host == "localhost" || host == "::1")
        return true;
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

CWebServer::CWebServer(CWebState& state, const CWebAssets& assets, CWebLimits limits)
    : m_impl(std::make_unique<CImpl>(state, assets, limits))
{
    httplib::Server& http = m_impl->http;
    http.set_address_family(AF_UNIX);
    http.new_task_queue = [] { return new CThreadPerConnection; };
    http.set_keep_alive_max_count(1);
    http.set_read_timeout(5, 0);
    http.set_write_timeout(limits.writeTimeoutSeconds, 0);
    http.set_payload_max_length(limits.maxBodyBytes);

    http.Get("/api/v1/events", [this](const httplib::Request& req, httplib::Response& res) {
        CImpl& impl = *m_impl;
        impl.AddHeaders(res);
        CEventLog& log = impl.state.Events();
        if (static_cast<size_t>(++impl.state.streamClients) > impl.limits.maxStreamClients) {
            --impl.state.streamClients;
            res.status = 503;
            res.set_content("{\"error\":\"too many event-stream clients\"}", "application/json");
            return;
        }
        // Where to go on from: the browser's own resumption header, else
        // the id the page read with its list; nothing: from now on.
        std::string from = req.get_header_value("Last-Event-ID");
        if (from.empty())
            from = req.get_param_value("after");
        auto cursor = std::make_shared<uint64_t>(log.LastId());
        auto greeting = std::make_shared<std::string>("retry: 1000\n: talmira\n\n");
        if (!from.empty()) {
            if (const auto n = log.ParseId(from); n && *n <= *cursor)
                *cursor = *n;
            else
                *greeting += "id: " + log.IdText(*cursor) + "\nevent: reset\ndata: {}\n\n";
        }
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [&log, cursor, greeting, keepAlive = impl.limits.streamKeepAlive](size_t, httplib::DataSink& sink) {
                std::string out;
                out.swap(*greeting);
                const CEventLog::CRead read =
                    log.ReadAfter(*cursor, 512, out.empty() ? keepAlive : std::chrono::milliseconds(0));
                if (read.closed)
                    return false;
                if (read.lost) {
                    *cursor = log.LastId();
                    out += "id: " + log.IdText(*cursor) + "\nevent: reset\ndata: {}\n\n";
                }
                for (const CEventLog::CEvent& e : read.events) {
                    out += "id: " + log.IdText(e.id) + "\nevent: " + e.type + "\ndata: ";
                    out.append(e.data.constData(), static_cast<size_t>(e.data.size()));
                    out += "\n\n";
                    *cursor = e.id;
                }
                if (out.empty())
                    out = ": keep-alive\n\n";
                return sink.write(out.data(), out.size());
            },
            [&state = impl.state](bool) { --state.streamClients; });
    });
    http.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        CImpl& impl = *m_impl;
        CWebRequest request{req.path, {}, req.get_header_value("Host"), SteadyClock::now() + impl.limits.requestTimeout};
        for (const auto& [k, v] : req.params)
            request.params.emplace(k, v);
        CWebResponse answer = impl.handlers.Handle(request);
        impl.AddHeaders(res);
        res.status = answer.status;
        for (const auto& [k, v] : answer.headers)
            res.set_header(k.c_str(), v);
        if (answer.contentType.starts_with("application/json"))
            res.set_header("Cache-Control", "no-store");
        if (!answer.more) {
            res.set_content(std::move(answer.body), answer.contentType.c_str());
            return;
        }
        res.set_chunked_content_provider(answer.contentType, [more = std::move(answer.more)](size_t, httplib::DataSink& sink) {
            std::string piece;
            const bool goOn = more(piece);
            if (!piece.empty() && !sink.write(piece.data(), piece.size()))
                return false;
            if (!goOn)
                sink.done();
            return true;
        });
    });
    const auto refuse = [this](const httplib::Request& req, httplib::Response& res) {
        m_impl->AddHeaders(res);
        res.status = 405;
        res.set_header("Allow", CWebHandlers::TakesOrders(req.path) ? "POST" : "GET, HEAD");
        res.set_content("{\"error\":\"only GET and HEAD, and POST of the page's orders\"}", "application/json");
    };
    http.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        CImpl& impl = *m_impl;
        CWebRequest request{req.path, {}, req.get_header_value("Host"), SteadyClock::now() + impl.limits.requestTimeout,
                            req.body, req.get_header_value("Content-Type"), req.get_header_value("Origin")};
        const CWebResponse answer = impl.handlers.Post(request);
        impl.AddHeaders(res);
        res.status = answer.status;
        if (answer.status == 405)
            res.set_header("Allow", "GET, HEAD");
        res.set_header("Cache-Control", "no-store");
        res.set_content(answer.body, answer.contentType.c_str());
    });
    http.Put(".*", refuse);
    http.Patch(".*", refuse);
    http.Delete(".*", refuse);
    http.Options(".*", refuse);
}

CWebServer::~CWebServer()
{
    Stop();
}

void CWebServer::SetAccess(std::vector<std::string> hostNames, std::string token)
{
    m_impl->hostNames = std::move(hostNames);
    m_impl->state.accessToken = token;
    m_impl->token = std::move(token);
}

void CWebServer::SetAllowOrigin(std::string origin)
{
    m_impl->allowOrigin = std::move(origin);
}

bool CWebServer::Start(const std::string& host, int port, std::string* error)
{
    CImpl& impl = *m_impl;
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return fail("cannot resolve " + host);
    impl.listener = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(impl.listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const bool bound = impl.listener >= 0 && bind(impl.listener, found->ai_addr, found->ai_addrlen) == 0
        && listen(impl.listener, 512) == 0;
    freeaddrinfo(found);
    if (!bound) {
        const std::string why = std::strerror(errno);
        if (impl.listener >= 0)
            close(impl.listener);
        impl.listener = -1;
        return fail("cannot bind " + host + " port " + std::to_string(port) + ": " + why);
    }
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    getsockname(impl.listener, reinterpret_cast<sockaddr*>(&local), &len);
    m_port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&local)->sin_port);

    // The library's socket file, in a folder only we can enter.
    std::string dir = (std::filesystem::temp_directory_path() / "talmira-web-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        close(impl.listener);
        impl.listener = -1;
        return fail("cannot make a private folder for the server socket");
    }
    impl.socketDir = dir;
    impl.socketPath = dir + "/http.sock";
    if (!impl.http.bind_to_port(impl.socketPath, 80)) {
        close(impl.listener);
        impl.listener = -1;
        std::filesystem::remove_all(impl.socketDir);
        return fail("cannot bind the server socket " + impl.socketPath);
    }
    impl.wakeFd = eventfd(0, EFD_CLOEXEC);
    impl.httpThread = std::thread([&impl] {
        impl.http.listen_after_bind();
        impl.httpDone = true;
    });
    impl.acceptThread = std::thread([&impl] { impl.AcceptLoop(); });
    return true;
}

void CWebServer::Stop()
{
    CImpl& impl = *m_impl;
    if (!impl.acceptThread.joinable())
        return;
    const uint64_t one = 1;
    (void)write(impl.wakeFd, &one, sizeof one);
    impl.acceptThread.join();
    impl.state.Events().Close();
    impl.ShutdownAll();
    // The library's stop() does nothing before its listen loop has begun, and
    // the loop would then wait in accept() for ever: a server stopped at once
    // after its start (a slow machine) waits for the loop to begin or end.
    while (!impl.http.is_running() && !impl.httpDone)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl.http.stop();
    impl.httpThread.join();
    close(impl.listener);
    close(impl.wakeFd);
    std::filesystem::remove_all(impl.socketDir);
}
