#pragma once
#include <QByteArray>
#include <QJsonObject>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Clock;
class CSessionStore;
class CViewFanOut;
class CWebPublisher;
class CWebServer;
class CWebState;
class CWebPreview;
class QObject;
class CSDPObject;
struct CWatchedStream;
struct CWireCounters;

// The web server of a running directory, as `talmira-cli serve` and the
// desktop program (when its setting asks for it) run it: the publisher on
// the store's view port, the shared state and the server. Lives on the
// main thread, beside the store it shows.
class CWebService {
public:
    static constexpr const char* kDefaultAddress = "127.0.0.1:8086";

    CWebService(CSessionStore& doc, const Clock& clock, CViewFanOut& views, const CWireCounters* wire = nullptr);
    ~CWebService();
    CWebService(const CWebService&) = delete;
    CWebService& operator=(const CWebService&) = delete;

    void SetAllowOrigin(std::string origin);
    // Host names to answer besides the address served on, and whether to
    // serve beyond loopback without the access token. Before Start.
    void SetAccess(std::vector<std::string> hostNames, bool noToken);
    // Serves on ADDR:PORT ("[V6]:PORT", or a bare port on loopback). False
    // with the reason when the address is malformed or cannot be bound.
    bool Start(const std::string& address, std::string* error);
    // What to tell the user once it serves: the address (with the access
    // token beyond loopback), and a warning naming what becomes visible
    // when it is not loopback.
    std::string Announcement() const;
    bool Serving() const { return m_serving; }
    int Port() const;
    // The streams being watched, for /metrics.
    void SetWatched(std::vector<CWatchedStream> streams);
    // The newest picture of each record whose picture is decoded, served as
    // /api/v1/sessions/ID/picture.jpg.
    void SetPictures(const std::map<const CSDPObject*, std::shared_ptr<const std::vector<uint8_t>>>& pictures);
    // What each record's decoded picture and sound show, a JSON array added
    // to its document as "preview".
    void SetLevels(const std::map<const CSDPObject*, QByteArray>& levels);
    // The watch's metrics lines, appended to /metrics as they are.
    void SetWatchMetrics(std::string text);
    // Decodes the pictures and sound of the sessions the page looks at
    // (their picture, or their mosaic tiles), at most `maxDecoders` at once,
    // joining IPv4 groups on `interfaceAddress` (empty: the system's choice).
    // For a front end that decodes nothing itself.
    void DecodeWhatIsLookedAt(int maxDecoders, const std::string& interfaceAddress);
    // The page's orders (POSTs), carried out on the main thread; answered
    // 503 when it does not take them in time. Empty: no orders taken.
    using Commands = std::function<std::pair<int, std::string>(const std::string& path, const QJsonObject& body)>;
    void SetCommands(Commands commands);
    // The watch's alarms document and each watched session's state, by
    // record; "alarms" goes out on the event stream when they changed.
    void SetAlarms(const QByteArray& alarms, const std::map<const CSDPObject*, QByteArray>& sessions);
    // Each published record with its id, on the main thread.
    void ForEachRecord(const std::function<void(CSDPObject& record, const std::string& id)>& visit) const;
    CWebState& State() { return *m_state; }
    // Ends every connection; the store is left alone.
    void Stop();

    // "ADDR:PORT" split; false when it is not one.
    static bool SplitAddress(const std::string& address, std::string& host, int& port);

    // The file beside the cache that keeps the access token.
    static constexpr const char* kTokenFile = "web-token";

private:
    CSessionStore& m_doc;
    CViewFanOut& m_views;
    std::unique_ptr<CWebState> m_state;
    std::unique_ptr<CWebPublisher> m_publisher;
    std::unique_ptr<CWebServer> m_server;
    std::unique_ptr<CWebPreview> m_preview;
    QByteArray m_alarms;
    std::string m_host;
    std::vector<std::string> m_hostNames;
    bool m_noToken = false;
    std::string m_token;
    bool m_serving = false;
};
