#include "web/WebPreview.h"

#include "preview/qt/PreviewJson.h"
#include "web/WebService.h"
#include "web/WebState.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <set>

CWebPreview::CWebPreview(CWebService& web, int maxDecoders, std::string interfaceAddress)
    : m_web(web), m_service(maxDecoders, std::move(interfaceAddress))
{
    connect(&m_service, &CPreviewService::PreviewChanged, this, [this] { m_changed = true; });
    // Four times a second: soon enough for a page that just asked, and the
    // levels a page shows move at that pace.
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        Follow();
        // Once a second at least: the pictures' ages move on by themselves.
        if (m_changed || (++m_turns % 4 == 0 && !m_watches.empty()))
            Publish();
    });
    m_timer.start();
}

// Starts decoding the sessions looked at since the last turn and stops
// those nobody looks at any more.
void CWebPreview::Follow()
{
    const std::vector<std::string> looked = m_web.State().Looked();
    const std::set<std::string> wanted(looked.begin(), looked.end());
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        m_service.Unwatch(it->second);
        it = m_watches.erase(it);
        m_changed = true;
    }
    std::set<std::string> fresh;
    for (const std::string& id : wanted)
        if (!m_watches.count(id))
            fresh.insert(id);
    if (fresh.empty())
        return;
    m_web.ForEachRecord([&](CSDPObject& record, const std::string& id) {
        if (fresh.count(id)) {
            auto [it, added] = m_watches.emplace(id, 0);
            it->second = m_service.Watch(m_service.SourcesOf(record), {}, &it->first);
        }
    });
    m_changed = true;
}

void CWebPreview::Publish()
{
    m_changed = false;
    std::map<std::string, CWebState::Picture> pictures;
    std::map<std::string, QJsonArray> entries;
    std::vector<CWatchedStream> streams;
    const double now = preview::SteadySeconds();
    for (const CPreviewService::CStreamPreview& p : m_service.AllLatest()) {
        const std::string& id = *static_cast<const std::string*>(p.subject);
        const preview::CPreviewSnapshot& s = *p.snapshot;
        if (s.video.jpeg)
            pictures.emplace(id, s.video.jpeg);
        QJsonObject entry{{"media_index", p.source->mediaIndex}};
        if (s.video.present || p.source->media == "video")
            entry["video"] = PreviewVideoJson(s, *p.source, now);
        if (s.audio.present || p.source->media == "audio")
            entry["audio"] = PreviewAudioJson(s, *p.source);
        entries[id].append(entry);
        // What /metrics shows of each decoded stream.
        CWatchedStream w;
        w.group = p.source->group;
        w.port = p.source->port;
        w.media = p.source->media;
        w.state = s.state;
        w.counted = false; // decoded only: no packet counts here
        if (s.video.analysed) {
            w.black = s.video.black;
            w.frozen = s.video.frozen;
        }
        if (s.audio.windows > 0) {
            w.silent = s.audio.silent;
            w.loudness = s.audio.shortTermLufs;
        }
        streams.push_back(std::move(w));
    }
    std::map<std::string, QByteArray> levels;
    for (const auto& [id, list] : entries)
        levels[id] = QJsonDocument(list).toJson(QJsonDocument::Compact);
    m_web.State().SetPictures(std::move(pictures));
    m_web.State().SetLevels(std::move(levels));
    m_web.State().SetWatched(std::move(streams));
}
