#include "web/WebPublisher.h"

#include "base/Clock.h"
#include "directory/qt/RecordJson.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"
#include "sdp/SessionList.h"
#include "views/DisplayText.h"
#include "web/WebState.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace {
constexpr const char* kMainListId = "main";

uint64_t Fnv1a(uint64_t hash, std::string_view bytes)
{
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 0x100000001b3ULL;
    return (hash ^ 0xff) * 0x100000001b3ULL; // a separator no text can fake
}

QByteArray Compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
} // namespace

// What one publication collects while it walks the store.
struct CPublishRun {
    std::shared_ptr<CWebSnapshot> snapshot;
    std::vector<std::pair<const char*, QByteArray>> events;
};

CWebPublisher::CWebPublisher(CSessionStore& doc, const Clock& clock, CWebState& state, QObject* parent)
    : QObject(parent), m_doc(doc), m_clock(clock), m_state(state)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &CWebPublisher::Flush);
}

CWebPublisher::~CWebPublisher() = default;

void CWebPublisher::Touch()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void CWebPublisher::Structure()
{
    m_structure = true;
    Touch();
}

void CWebPublisher::MarkDirty(const CSDPObject* record)
{
    m_dirty.insert(record);
    Touch();
}

void CWebPublisher::RecordAdded(const Record&, size_t, const Record& record)
{
    m_structure = true;
    MarkDirty(record.get());
}

void CWebPublisher::RecordRemoved(const Record&, size_t, const Record&)
{
    // The walk of the next publication finds what is gone (with everything
    // below a removed directory, which gets no notices of its own).
    Structure();
}

void CWebPublisher::RecordChanged(const Record&, size_t, const Record& record)
{
    // A directory's name is its list's too.
    if (record->links->children)
        m_structure = true;
    MarkDirty(record.get());
}

void CWebPublisher::EndReset()
{
    m_all = true;
    Structure();
}

void CWebPublisher::EndWalk()
{
    // Stale items outnumber the rows: start the list afresh.
    if (m_due.size() > 2 * m_entries.size() + 1024) {
        std::vector<std::pair<int64_t, const CSDPObject*>> due;
        due.reserve(m_entries.size());
        for (const auto& [record, entry] : m_entries)
            due.emplace_back(entry.steadyUntil, record);
        m_due = decltype(m_due)(std::greater<>(), std::move(due));
    }
    // Rows whose answers may have turned since they were made.
    const int64_t now = m_clock.Now();
    while (!m_due.empty() && m_due.top().first < now) {
        const auto [until, record] = m_due.top();
        m_due.pop();
        const auto it = m_entries.find(record);
        if (it != m_entries.end() && it->second.steadyUntil == until)
            m_dirty.insert(record);
    }
    if (!m_dirty.empty())
        Touch();
}

bool CWebPublisher::RefreshDirty(CPublishRun& run)
{
    const int64_t now = m_clock.Now();
    for (const CSDPObject* record : m_dirty) {
        const auto it = m_entries.find(record);
        if (it == m_entries.end() || !it->second.shown)
            return false;
        CEntry& entry = it->second;
        // The index keys records by address alone; the record itself is the store's.
        auto fresh = Build(const_cast<CSDPObject&>(*record), entry.shown->id, entry.shown->directoryId, now,
                           entry.steadyUntil);
        if (!fresh)
            return false; // its deletion has begun
        if (fresh->rowJson != entry.shown->rowJson || fresh->detailJson != entry.shown->detailJson
            || fresh->passes != entry.shown->passes) {
            run.events.emplace_back("changed", fresh->rowJson);
            entry.shown = std::move(fresh);
        }
    }
    m_dirty.clear();
    return true;
}

std::string CWebPublisher::IdFor(CSDPObject& r, const std::string& directoryId)
{
    // The identity the store tells sessions apart by, in the list it is in:
    // the same session keeps its id while it lives and across restarts.
    uint64_t h = 0xcbf29ce484222325ULL;
    for (std::string_view part : {std::string_view(directoryId), std::string_view(r.originUser),
                                  std::string_view(r.originSessionId), std::string_view(r.originNetworkType),
                                  std::string_view(r.originAddressType), std::string_view(r.originAddress)})
        h = Fnv1a(h, part);
    if (CSDPObject::NamesNoHost(r.originAddress) && !r.media.empty()) {
        h = Fnv1a(h, r.media.front().address);
        h = Fnv1a(h, r.media.front().port);
    }
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    std::string id = text;
    for (int n = 2; m_ids.count(id); ++n)
        id = std::string(text) + "-" + std::to_string(n);
    return id;
}

std::shared_ptr<const CWebSession> CWebPublisher::Build(CSDPObject& r, const std::string& id,
                                                        const std::string& directoryId, int64_t now,
                                                        int64_t& steadyUntil)
{
    CRecordLock lock(r);
    if (!lock.ok())
        return nullptr;
    ++m_built;
    auto row = listrules::MakeRow(r, now, m_clock);
    if (!row)
        return nullptr;
    auto s = std::make_shared<CWebSession>();
    s->id = id;
    s->directoryId = directoryId;
    s->isDirectory = r.links->children != nullptr;
    s->row = std::move(*row);
    for (int mode = listrules::kFilterCurrent; mode <= listrules::kFilterThisMonth; ++mode)
        if (listrules::PassesFilter(r, mode, now, m_clock))
            s->passes |= 1u << mode;
    s->searchKey = SearchKeyOf(s->row, r);
    s->title = DisplayText(s->row.name);
    r.WriteSdp(s->sdp);
    // The time filters' periods all end with a day.
    steadyUntil = std::min(NowAnswerHoldsUntil(r.times, now), PeriodEnd(kPeriodToday, now, m_clock));
    m_due.emplace(steadyUntil, &r);

    const QString sdpUrl = QStringLiteral("/api/v1/sessions/%1.sdp").arg(QString::fromStdString(id));
    s->rowJson = Compact(QJsonObject{
        {"id", QString::fromStdString(id)},
        {"directory", QString::fromStdString(directoryId)},
        {"name", s->title},
        {"info", DisplayText(s->row.info)},
        {"start", DisplayText(s->row.start)},
        {"type", QString::fromLatin1(s->row.type.c_str())},
        {"media", DisplayText(s->row.media)},
        {"next_start", static_cast<qint64>(s->row.nextStart)},
        {"active", s->row.activeNow},
        {"icon", s->row.icon},
        {"is_directory", s->isDirectory},
    });
    const CScheduleDescription schedule = DescribeSchedule(r, now, m_clock);
    const auto dir = r.parentDirectory.lock();
    QJsonObject detail{
        {"id", QString::fromStdString(id)},
        {"directory_id", QString::fromStdString(directoryId)},
        {"directory", dir ? QJsonValue(TextToJson(dir->name)) : QJsonValue(QJsonValue::Null)},
        {"record", RecordToJson(r)},
        {"schedule", QJsonObject{{"status", VerdictText(schedule.active)}, {"description", TextToJson(schedule.text)}}},
        {"sdp_url", sdpUrl},
    };
    s->detailJson = Compact(detail);
    return s;
}

void CWebPublisher::Walk(const CSessionList& list, CWebDirectory& into, const std::string& directoryId, int64_t now,
                         CPublishRun& run)
{
    for (const auto& record : list) {
        auto [it, isNew] = m_entries.try_emplace(record.get());
        CEntry& entry = it->second;
        entry.seen = true;
        if (isNew || m_all || m_dirty.count(record.get())) {
            const std::string id = isNew ? IdFor(*record, directoryId) : entry.shown ? entry.shown->id : std::string();
            auto fresh = id.empty() ? nullptr : Build(*record, id, directoryId, now, entry.steadyUntil);
            if (!fresh) {
                // Its deletion has begun: it leaves with the next walk.
                if (isNew)
                    m_entries.erase(it);
                else
                    entry.seen = false;
                continue;
            }
            if (isNew) {
                m_ids.insert(id);
                run.events.emplace_back("added", fresh->rowJson);
            } else if (fresh->rowJson != entry.shown->rowJson || fresh->detailJson != entry.shown->detailJson
                       || fresh->passes != entry.shown->passes) {
                run.events.emplace_back("changed", fresh->rowJson);
            } else {
                fresh = entry.shown; // nothing a client sees changed
            }
            entry.shown = std::move(fresh);
        }
        into.sessions.push_back(entry.shown);
        run.snapshot->sessionById.emplace(entry.shown->id, entry.shown);
        if (entry.shown->isDirectory && record->links->children) {
            auto child = std::make_unique<CWebDirectory>();
            child->id = entry.shown->id;
            child->parentId = directoryId;
            child->name = entry.shown->title;
            child->heard = record->links->directoryReceiver != nullptr;
            CWebDirectory& ref = *child;
            run.snapshot->directories.push_back(std::move(child));
            Walk(*record->links->children, ref, ref.id, now, run);
        }
    }
}

void CWebPublisher::Flush()
{
    m_timer.stop();
    CPublishRun run{std::make_shared<CWebSnapshot>(), {}};
    // Only rows to look at again: the store is walked only when one of
    // them changed, or something came or went.
    if (!m_all && !m_structure) {
        if (!RefreshDirty(run))
            m_structure = true;
        else if (run.events.empty())
            return;
    }
    const int64_t now = m_clock.Now();
    run.snapshot->madeAt = now;
    auto main = std::make_unique<CWebDirectory>();
    main->id = kMainListId;
    main->name = QStringLiteral("MBone");
    CWebDirectory& mainRef = *main;
    run.snapshot->directories.push_back(std::move(main));
    for (auto& [record, entry] : m_entries)
        entry.seen = false;
    Walk(m_doc.MainList(), mainRef, kMainListId, now, run);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.seen) {
            ++it;
            continue;
        }
        if (const auto& gone = it->second.shown) {
            run.events.emplace_back("removed", Compact(QJsonObject{{"id", QString::fromStdString(gone->id)},
                                                                   {"directory", QString::fromStdString(gone->directoryId)}}));
            m_ids.erase(gone->id);
        }
        it = m_entries.erase(it);
    }
    m_dirty.clear();
    m_all = false;
    m_structure = false;
    const WebSnapshotPtr before = m_state.Snapshot();
    bool same = run.events.empty() && before->directories.size() == run.snapshot->directories.size();
    for (const auto& d : run.snapshot->directories) {
        run.snapshot->directoryById.emplace(d->id, d.get());
        const CWebDirectory* old = before->Directory(d->id);
        if (old)
            d->KeepOrdersOf(*old);
        same = same && old && old->sessions == d->sessions && old->name == d->name && old->heard == d->heard;
    }
    // Nothing a client could see changed: the snapshot it has stays.
    if (same)
        return;
    m_state.Publish(run.snapshot);
    ++m_state.publishes;
    // The snapshot first: a client that reacts to an event finds it there.
    for (auto& [type, data] : run.events)
        m_state.Events().Append(type, std::move(data));
}

std::string CWebPublisher::IdOf(const CSDPObject* record) const
{
    auto it = m_entries.find(record);
    return it != m_entries.end() && it->second.shown ? it->second.shown->id : std::string();
}

void CWebPublisher::ForEachRecord(const std::function<void(CSDPObject&, const std::string&)>& visit) const
{
    // The keys are the store's own records, which it holds as changeable.
    for (const auto& [record, entry] : m_entries)
        if (entry.shown)
            visit(const_cast<CSDPObject&>(*record), entry.shown->id);
}
