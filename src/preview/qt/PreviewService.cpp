#include "preview/qt/PreviewService.h"

#include "preview/PreviewPlan.h"
#include "sdp/SDPObject.h"

namespace {

// What a window shows changed: a new picture, new levels, another state.
bool Changed(const preview::CPreviewSnapshot& a, const preview::CPreviewSnapshot& b)
{
    return a.state != b.state || a.message != b.message || a.video.pictureTime != b.video.pictureTime ||
           a.video.black != b.video.black || a.video.frozen != b.video.frozen || a.audio.windows != b.audio.windows ||
           a.video.received.width != b.video.received.width;
}

} // namespace

CPreviewService::CPreviewService(int maxDecoders, std::string interfaceAddress, QObject* parent)
    : QObject(parent), m_maxDecoders(maxDecoders), m_interfaceAddress(std::move(interfaceAddress))
{
    m_timer.setInterval(100);
    connect(&m_timer, &QTimer::timeout, this, &CPreviewService::Poll);
}

// The decoders' threads end with the pool, before the object goes.
CPreviewService::~CPreviewService() { m_pool.reset(); }

int CPreviewService::Watch(std::vector<preview::CPreviewSource> sources, const preview::CPreviewOptions& options,
                           const void* subject)
{
    if (!m_pool)
        m_pool = std::make_unique<preview::CPreviewPool>(m_maxDecoders);
    const int id = m_nextId++;
    CWatch& watch = m_watches[id];
    watch.subject = subject;
    for (preview::CPreviewSource& source : sources) {
        const int index = source.mediaIndex;
        watch.sources[index] = source;
        watch.entries[index] = m_pool->Watch(std::move(source), options);
        watch.latest[index] = {};
    }
    m_timer.start();
    return id;
}

void CPreviewService::Unwatch(int id)
{
    auto it = m_watches.find(id);
    if (it == m_watches.end())
        return;
    for (const auto& [index, entry] : it->second.entries)
        m_pool->Unwatch(entry);
    m_watches.erase(it);
    if (m_watches.empty())
        m_timer.stop();
}

const std::map<int, preview::CPreviewSnapshot>* CPreviewService::Latest(int id) const
{
    auto it = m_watches.find(id);
    return it == m_watches.end() ? nullptr : &it->second.latest;
}

std::vector<CPreviewService::CStreamPreview> CPreviewService::AllLatest() const
{
    std::vector<CStreamPreview> out;
    for (const auto& [id, watch] : m_watches)
        for (const auto& [index, snapshot] : watch.latest)
            out.push_back({&watch.sources.at(index), &snapshot, watch.subject});
    return out;
}

bool CPreviewService::Take(int id, int mediaIndex, preview::CPreviewSnapshot snapshot)
{
    auto it = m_watches.find(id);
    if (it == m_watches.end() || !it->second.latest.contains(mediaIndex))
        return false;
    it->second.latest[mediaIndex] = std::move(snapshot);
    emit PreviewChanged(id);
    return true;
}

void CPreviewService::SetMaxDecoders(int count)
{
    m_maxDecoders = count;
    if (m_pool)
        m_pool->SetMaxDecoders(count);
}

void CPreviewService::Poll()
{
    std::vector<int> changed;
    for (auto& [id, watch] : m_watches) {
        bool any = false;
        for (const auto& [index, entry] : watch.entries) {
            std::optional<preview::CPreviewSnapshot> now = m_pool->Snapshot(entry);
            if (now && Changed(*now, watch.latest[index])) {
                watch.latest[index] = std::move(*now);
                any = true;
            }
        }
        if (any)
            changed.push_back(id);
    }
    // A slot may end a watch: emit after the walk.
    for (int id : changed)
        emit PreviewChanged(id);
}

std::vector<preview::CPreviewSource> CPreviewService::SourcesOf(CSDPObject& session) const
{
    std::string text;
    session.WriteSdp(text);
    std::vector<preview::CPreviewSource> sources;
    for (preview::CPreviewSource& s : preview::PlanPreview(session, text, m_interfaceAddress))
        if (s.media == "video" || s.media == "audio" || !s.url.empty())
            sources.push_back(std::move(s));
    return sources;
}
