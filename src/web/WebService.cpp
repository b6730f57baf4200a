#include "web/WebService.h"

#include "base/ViewFanOut.h"
#include "directory/SessionStore.h"
#include "web/WebAccess.h"
#include "web/WebHandlers.h"
#include "web/WebPreview.h"
#include "web/WebPublisher.h"
#include "web/WebServer.h"
#include "web/WebState.h"

#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>

namespace {
// Event ids carry the run they come from: a page resuming across a restart
// is told to read everything again.
std::string NewEpoch()
{
    std::random_device device;
    char text[20];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(device()));
    return text;
}
} // namespace

CWebService::CWebService(CSessionStore& doc, const Clock& clock, CViewFanOut& views, const CWireCounters* wire)
    : m_doc(doc), m_views(views), m_state(std::make_unique<CWebState>(NewEpoch()))
{
    m_state->wire = wire;
    m_publisher = std::make_unique<CWebPublisher>(doc, clock, *m_state);
    m_views.Attach(*m_publisher);
    m_publisher->Flush();
    m_server = std::make_unique<CWebServer>(*m_state, CWebAssets::Embedded());
}

CWebService::~CWebService()
{
    Stop();
    m_preview.reset();
    m_views.Detach(*m_publisher);
}

void CWebService::SetAllowOrigin(std::string origin)
{
    m_server->SetAllowOrigin(std::move(origin));
}

void CWebService::SetAccess(std::vector<std::string> hostNames, bool noToken)
{
    m_hostNames = std::move(hostNames);
    m_noToken = noToken;
}

bool CWebService::SplitAddress(const std::string& address, std::string& host, int& port)
{
    host = "127.0.0.1";
    std::string portText = address;
    if (const size_t colon = address.rfind(':'); colon != std::string::npos) {
        host = address.substr(0, colon);
        portText = address.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || portText.empty() || portText.size() > 5
        || portText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(portText);
    return port <= 65535;
}

bool CWebService::Start(const std::string& address, std::string* error)
{
    int port = 0;
    if (!SplitAddress(address, m_host, port)) {
        if (error)
            *error = "the web server's address is HOST:PORT, not '" + address + "'";
        return false;
    }
    m_token.clear();
    if (!IsLoopbackHost(m_host) && !m_noToken) {
        m_token = LoadOrMakeToken(m_doc.installDirectory + "/" + kTokenFile, error);
        if (m_token.empty())
            return false;
    }
    m_server->SetAccess(m_hostNames, m_token);
    m_serving = m_server->Start(m_host, port, error);
    return m_serving;
}

std::string CWebService::Announcement() const
{
    const std::string shown = m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host;
    std::string text = "serving http://" + shown + ":" + std::to_string(Port()) + "/";
    if (!m_token.empty())
        text += "?token=" + m_token;
    else if (!IsLoopbackHost(m_host))
        text = "warning: serving beyond this host on " + m_host + " port " + std::to_string(Port())
            + " without an access token: anyone who reaches it sees every session this directory hears or announces "
              "(names, descriptions, contacts, media addresses, schedules, SDP texts) and its metrics\n"
            + text;
    return text;
}

int CWebService::Port() const
{
    return m_server->Port();
}

void CWebService::Stop()
{
    if (m_serving)
        m_server->Stop();
    m_serving = false;
}

void CWebService::SetWatched(std::vector<CWatchedStream> streams)
{
    m_state->SetWatched(std::move(streams));
}

void CWebService::SetPictures(const std::map<const CSDPObject*, std::shared_ptr<const std::vector<uint8_t>>>& pictures)
{
    std::map<std::string, CWebState::Picture> byId;
    for (const auto& [record, picture] : pictures)
        if (std::string id = m_publisher->IdOf(record); !id.empty())
            byId[id] = picture;
    m_state->SetPictures(std::move(byId));
}

void CWebService::SetLevels(const std::map<const CSDPObject*, QByteArray>& levels)
{
    std::map<std::string, QByteArray> byId;
    for (const auto& [record, json] : levels)
        if (std::string id = m_publisher->IdOf(record); !id.empty())
            byId[id] = json;
    m_state->SetLevels(std::move(byId));
}

void CWebService::SetWatchMetrics(std::string text)
{
    m_state->SetWatchMetrics(std::move(text));
}

void CWebService::DecodeWhatIsLookedAt(int maxDecoders, const std::string& interfaceAddress)
{
    m_preview = std::make_unique<CWebPreview>(*this, maxDecoders, interfaceAddress);
}

void CWebService::SetCommands(Commands commands)
{
    if (!commands) {
        m_state->SetCommands({});
        return;
    }
    // An HTTP thread hands the order to the main thread (the publisher
    // lives there, and as long as the server) and waits for its answer.
    m_state->SetCommands([context = m_publisher.get(), commands = std::move(commands)](const std::string& path,
                                                                                       const QJsonObject& body) {
        struct CCall {
            std::mutex lock;
            std::condition_variable done;
            bool finished = false;
            CWebState::CCommandResult result;
        };
        auto call = std::make_shared<CCall>();
        QMetaObject::invokeMethod(
            context,
            [call, commands, path, body] {
                const auto [status, answer] = commands(path, body);
                std::lock_guard lock(call->lock);
                call->result = {status, answer};
                call->finished = true;
                call->done.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(call->lock);
        if (!call->done.wait_for(lock, std::chrono::seconds(5), [&] { return call->finished; }))
            return CWebState::CCommandResult{503, "{\"error\":\"the directory did not take the order in time\"}"};
        return call->result;
    });
}

void CWebService::SetAlarms(const QByteArray& alarms, const std::map<const CSDPObject*, QByteArray>& sessions)
{
    std::map<std::string, QByteArray> byId;
    for (const auto& [record, json] : sessions)
        if (std::string id = m_publisher->IdOf(record); !id.empty())
            byId[id] = json;
    m_state->SetAlarms(alarms, std::move(byId));
    if (alarms != m_alarms)
        m_state->Events().Append("alarms", "{}");
    m_alarms = alarms;
}

void CWebService::ForEachRecord(const std::function<void(CSDPObject&, const std::string&)>& visit) const
{
    m_publisher->ForEachRecord(visit);
}
