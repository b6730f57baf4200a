#pragma once
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct sockaddr_storage;

class CWebState;
struct CWebAssets;

// How much the server lets clients take: everything a client can hold open
// or make the server keep is bounded, so a flood of idle, slow or greedy
// clients costs the directory nothing and the memory stays bounded.
struct CWebLimits {
    size_t maxConnections = 256;
    size_t maxPerClient = 32;
    size_t maxStreamClients = 64;
    // The request line and headers: their bytes and lines.
    size_t maxHeadBytes = 16 * 1024;
    size_t maxHeaderLines = 64;
    size_t maxBodyBytes = 4096;
    // Until the head is complete, and from there until the answer is out
    // (event streams are exempt: a stalled write ends them instead).
    std::chrono::milliseconds headTimeout{5000};
    std::chrono::milliseconds requestTimeout{30000};
    int writeTimeoutSeconds = 5;
    std::chrono::milliseconds streamKeepAlive{15000};
};

// The HTTP server on its own threads (one per connection, bounded by the
// limits); it reads CWebState only, and hands the page's orders to the main
// thread through it. Every answer carries a policy that runs
// no inline script and no sniffing; cross-origin reading is allowed only
// for the origin given to SetAllowOrigin.
class CWebServer {
public:
    CWebServer(CWebState& state, const CWebAssets& assets, CWebLimits limits = {});
    ~CWebServer();
    CWebServer(const CWebServer&) = delete;
    CWebServer& operator=(const CWebServer&) = delete;

    void SetAllowOrigin(std::string origin);
    // Host names answered besides the address a client reaches the server
    // on, and the access token asked for (empty: none).
    void SetAccess(std::vector<std::string> hostNames, std::string token);
    // Binds and starts serving; false with the reason when it cannot bind.
    bool Start(const std::string& host, int port, std::string* error);
    int Port() const { return m_port; }
    // Ends every connection (event streams included) and waits for them.
    void Stop();

    class CImpl;

private:
    std::unique_ptr<CImpl> m_impl;
    int m_port = 0;
};

// Whom the per-client limit counts a peer as: its address, an IPv6 one by its /64.
std::string ClientKey(const sockaddr_storage& addr);
// Whether an address to bind to is a loopback one (127.0.0.0/8, ::1, localhost).
bool IsLoopbackHost(const std::string& host);
