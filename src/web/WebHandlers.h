#pragma once
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CWebState;

// One request as the handlers see it: no socket, so the tests call them directly.
struct CWebRequest {
    std::string path;
    std::multimap<std::string, std::string> params;
    std::string host; // the Host header, for the playlist's links
    // When the answer is due: work past it is wasted (the client is cut).
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    // A POST's: its body, Content-Type and Origin headers.
    std::string body = {};
    std::string contentType = {};
    std::string origin = {};
};

struct CWebResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body = {};
    std::vector<std::pair<std::string, std::string>> headers;
    // A long body comes in pieces instead (the body then stays empty):
    // each call appends the next one, false once it was the last.
    std::function<bool(std::string& out)> more = {};
};

// The page's files, served from the program itself.
struct CWebAssets {
    std::string html;
    std::string css;
    std::string js;
    // The ones built into the program.
    static CWebAssets Embedded();
};

// The answers of the server: the page, the API under /api/v1, the playlist
// and /metrics; the few orders a page may give (acknowledge alarms, watch a
// session) come as POSTs of JSON. The event stream is the server's own (it
// holds a connection open).
class CWebHandlers {
public:
    static constexpr size_t kMaxPage = 5000;
    static constexpr int kMaxSearch = 200; // characters

    CWebHandlers(CWebState& state, CWebAssets assets);
    CWebResponse Handle(const CWebRequest& request) const;
    CWebResponse Post(const CWebRequest& request) const;
    // Whether a POST may go to this path at all (else 405).
    static bool TakesOrders(const std::string& path);
    static constexpr size_t kMaxTiles = 64;

    // The query words of the session list ("today", "-start", ...).
    static std::optional<int> FilterMode(const std::string& word);
    static std::optional<int> SortMode(const std::string& word);

private:
    CWebResponse Columns() const;
    CWebResponse Directories() const;
    std::string EventField() const;
    CWebResponse Sessions(const std::string& directoryId, const CWebRequest& request) const;
    CWebResponse Session(const std::string& id) const;
    CWebResponse Mosaic(const std::string& directoryId, const CWebRequest& request) const;
    CWebResponse Picture(const std::string& id) const;
    CWebResponse Sdp(const std::string& id) const;
    CWebResponse Playlist(const CWebRequest& request) const;
    CWebResponse Metrics() const;

    CWebState& m_state;
    CWebAssets m_assets;
};

CWebResponse WebError(int status, const std::string& message);
// A Host header fit to put into a link: a name or an address with a port;
// anything else gives the fallback.
std::string SafeHost(const std::string& host, const std::string& fallback);
