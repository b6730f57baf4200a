#include "sdp/SDPObject.h"

#include "base/Clock.h"
#include "base/Random.h"
#include "base/Text.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace {

thread_local uint32_t t_threadToken = 0;

[[gnu::noinline]] uint32_t NewThreadToken()
{
    static std::atomic<uint32_t> s_last{0};
    do
        t_threadToken = s_last.fetch_add(1, std::memory_order_relaxed) + 1;
    while (t_threadToken == 0);
    return t_threadToken;
}

// A number for the calling thread, never 0, the same for its whole life.
uint32_t ThreadToken()
{
    const uint32_t token = t_threadToken;
    return token ? token : NewThreadToken();
}

// Takes a busy lock for `me` before the timeout: yields at first (holds are
// short), then sleeps in growing steps up to a millisecond. Out of line, so
// that taking a free lock stays short.
[[gnu::noinline]] bool WaitForLock(std::atomic<uint32_t>& owner, std::atomic<int>& waiters, uint32_t me,
                                   std::chrono::milliseconds timeout)
{
    waiters.fetch_add(1, std::memory_order_relaxed);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::microseconds(20);
    bool taken = false;
    for (int tries = 0;; ++tries) {
        uint32_t expected = 0;
        if (owner.load(std::memory_order_relaxed) == 0
            && owner.compare_exchange_weak(expected, me, std::memory_order_acquire, std::memory_order_relaxed)) {
            taken = true;
            break;
        }
        if (tries < 16) {
            std::this_thread::yield();
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(1000));
    }
    waiters.fetch_sub(1, std::memory_order_relaxed);
    return taken;
}

} // namespace

bool CSDPMedia::IsSameMedia(const CSDPMedia& o) const
{
    return connectionAddress == o.connectionAddress && media == o.media && port == o.port
        && protocol == o.protocol && formatList == o.formatList;
}

CSDPObject::CSDPObject() = default;

CSDPObject::~CSDPObject()
{
    // A viewer still registered when the last reference goes learns it here
    // (DeleteLater normally told it already and cleared the hook).
    CRecordLinks* const set = links.IfSet();
    if (CViewerWindow* viewer = set ? set->viewerWindow : nullptr) {
        set->viewerWindow = nullptr;
        viewer->RecordExpired(*this);
    }
}

int CSDPObject::DrawRandomTag(Random& random)
{
    int tag = 0;
    while (tag == 0)
        tag = random.Next();
    return tag;
}

std::shared_ptr<CSDPObject> CSDPObject::MakeEmpty(const CSdpEnvironment& env)
{
    auto record = std::make_shared<CSDPObject>();
    record->lastHeard = env.clock.Now();
    record->randomTag = DrawRandomTag(env.random);
    return record;
}

std::shared_ptr<CSDPObject> CSDPObject::MakeWithoutText(const CSdpEnvironment& env, const std::string& localHostName)
{
    auto record = MakeEmpty(env);
    const std::string ntpNow = std::to_string(static_cast<uint64_t>(env.clock.Now() + kNtpUnixOffset));
    record->version = 0;
    record->originSessionId = ntpNow;
    record->originVersion = ntpNow;
    record->originNetworkType = "IN";
    record->originAddressType = "IP4";
    record->originAddress = localHostName;
    record->scopeMode = 1120;
    record->announceTtl = 15;
    return record;
}

bool CSDPObject::Lock(const char* /*file*/, int /*line*/)
{
    if (deleting.load())
        return false;
    const uint32_t me = ThreadToken();
    // Only this thread ever stores its own token, so seeing it means holding.
    if (m_lockOwner.load(std::memory_order_relaxed) == me) {
        const uint16_t depth = m_lockDepth.load(std::memory_order_relaxed);
        if (depth == std::numeric_limits<uint16_t>::max())
            return false;
        m_lockDepth.store(static_cast<uint16_t>(depth + 1), std::memory_order_relaxed);
        return true;
    }
    uint32_t expected = 0;
    // Going on without the lock would race with its holder: a timed-out
    // wait refuses instead.
    if (!m_lockOwner.compare_exchange_strong(expected, me, std::memory_order_acquire, std::memory_order_relaxed)
        && !WaitForLock(m_lockOwner, m_lockWaiters, me, std::chrono::milliseconds(kLockTimeoutMs)))
        return false;
    m_lockDepth.store(1, std::memory_order_relaxed);
    return true;
}

void CSDPObject::Unlock()
{
    // A thread that does not hold the lock has nothing to release.
    if (m_lockOwner.load(std::memory_order_relaxed) != ThreadToken())
        return;
    const uint16_t depth = m_lockDepth.load(std::memory_order_relaxed);
    m_lockDepth.store(static_cast<uint16_t>(depth - 1), std::memory_order_relaxed);
    if (depth == 1)
        m_lockOwner.store(0, std::memory_order_release);
}

bool CSDPObject::NamesNoHost(std::string_view address)
{
    if (address.empty() || text::EqualsNoCase(address, "localhost") || address == "::" || address == "::1"
        || address == "0.0.0.0")
        return true;
    return address.starts_with("127."); // the loopback net
}

bool CSDPObject::HasSameOrigin(const CSDPObject& o) const
{
    return originSessionId == o.originSessionId && originUser == o.originUser && originAddress == o.originAddress
        && originAddressType == o.originAddressType && originNetworkType == o.originNetworkType;
}

namespace {
// Where the first media entry is sent: its connection address (its own or
// the session's) and its port; nothing for a record without media.
bool SameFirstDestination(const CSDPObject& a, const CSDPObject& b)
{
    if (a.media.empty() || b.media.empty())
        return a.media.empty() && b.media.empty();
    const CSDPMedia& x = a.media.front();
    const CSDPMedia& y = b.media.front();
    return x.address == y.address && x.port == y.port;
}
} // namespace

bool CSDPObject::IsSameSession(const CSDPObject& other) const
{
    // The program's own records (the user's sessions and folders, the scope
    // directories) are made here: their origin alone names them, whatever
    // an edit does to their media.
    const bool ours = own || other.own || sessionType == kTypeScopeDirectory || other.sessionType == kTypeScopeDirectory;
    return HasSameOrigin(other) && (ours || !NamesNoHost(originAddress) || SameFirstDestination(*this, other));
}

bool CSDPObject::DeletionCovers(const CSDPObject& stored) const
{
    return HasSameOrigin(stored)
        && (!NamesNoHost(originAddress) || media.empty() || SameFirstDestination(*this, stored));
}

namespace {
// The record's own text fields; its extras, lists and media hold the others.
constexpr CShortText CSDPObject::*kRecordTexts[] = {
    &CSDPObject::originUser, &CSDPObject::originSessionId, &CSDPObject::originVersion,
    &CSDPObject::originNetworkType, &CSDPObject::originAddressType, &CSDPObject::originAddress,
    &CSDPObject::name, &CSDPObject::information, &CSDPObject::uri, &CSDPObject::email, &CSDPObject::phone,
    &CSDPObject::connectionNetworkType, &CSDPObject::connectionAddressType, &CSDPObject::connectionAddress};

// A media section that stayed the same keeps the tool the user chose.
void KeepToolChoices(const CSlimList<CSDPMedia>& old, CSlimList<CSDPMedia>& fresh)
{
    for (const CSDPMedia& was : old) {
        for (CSDPMedia& candidate : fresh) {
            if (candidate.IsSameMedia(was)) {
                if (!was.extras->toolChoice.empty() || !was.extras->spare.empty()) {
                    CSDPMediaExtras& kept = candidate.extras.Edit();
                    kept.toolChoice = was.extras->toolChoice;
                    kept.spare = was.extras->spare;
                } else if (CSDPMediaExtras* kept = candidate.extras.IfSet()) {
                    kept->toolChoice.clear();
                    kept->spare.clear();
                }
                break;
            }
        }
    }
}
} // namespace

void CSDPObject::UpdateFrom(CSDPObject& newer, int64_t now)
{
    CRecordLock lock(*this);
    if (!lock.ok())
        return;
    if (!own) {
        if (name != newer.name || information != newer.information)
            changed = 1;
        version = newer.version;
        for (auto field : kRecordTexts)
            this->*field = newer.*field;
        extras = newer.extras;
        attributes = newer.attributes;
        times = newer.times;
        CSlimList<CSDPMedia> fresh = newer.media;
        KeepToolChoices(media, fresh);
        media = std::move(fresh);
        sessionType = newer.sessionType;
    }
    lastHeard = now;
}

void CSDPObject::TakeFrom(CSDPObject& newer, int64_t now)
{
    CRecordLock lock(*this);
    if (!lock.ok())
        return;
    if (!own) {
        KeepToolChoices(media, newer.media);
        if (name != newer.name || information != newer.information)
            changed = 1;
        version = newer.version;
        for (auto field : kRecordTexts)
            (this->*field).SwapWords(newer.*field);
        extras.swap(newer.extras);
        attributes.swap(newer.attributes);
        times.swap(newer.times);
        media.swap(newer.media);
        // The blocks go with the texts and lists that live in them.
        textPool.swap(newer.textPool);
        listPool.swap(newer.listPool);
        sessionType = newer.sessionType;
    }
    lastHeard = now;
}

void CSDPObject::TrimTextPool()
{
    const uintptr_t from = textPool.Base();
    const size_t size = textPool.Size();
    textPool.ShrinkToFit();
    const ptrdiff_t delta = static_cast<ptrdiff_t>(textPool.Base() - from);
    if (delta == 0 || size == 0)
        return;
    // The block moved: every text that lives in it follows.
    const auto move = [&](CShortText& t) { t.Rebase(from, size, delta); };
    for (auto field : kRecordTexts)
        move(this->*field);
    if (CSDPExtras* x = extras.IfSet()) {
        for (CShortText* t : {&x->bandwidthModifier, &x->bandwidthValue, &x->keyMethod, &x->keyValue})
            move(*t);
        for (CShortText& t : x->reserved)
            move(t);
    }
    for (CShortText& t : attributes)
        move(t);
    for (CSDPTime& t : times)
        for (CShortText* s : {&t.start, &t.stop, &t.repeatInterval, &t.activeDuration, &t.offset})
            move(*s);
    for (CSDPMedia& m : media) {
        for (CShortText* t : {&m.media, &m.port, &m.protocol, &m.formatList, &m.connectionAddress, &m.information,
                              &m.address})
            move(*t);
        if (CSDPMediaExtras* x = m.extras.IfSet())
            for (CShortText* t : {&x->spare, &x->toolChoice, &x->mediaLabel, &x->protocolLabel, &x->formatLabel,
                                  &x->keyMethod, &x->keyValue, &x->bandwidthModifier, &x->bandwidthValue,
                                  &x->connectionNetworkType, &x->connectionAddressType})
                move(*t);
        for (CShortText& t : m.attributes)
            move(t);
    }
}

void CSDPObject::DeleteLater()
{
    if (deleting.exchange(1))
        return;
    CRecordLinks* const set = links.IfSet();
    if (CViewerWindow* viewer = set ? set->viewerWindow : nullptr) {
        set->viewerWindow = nullptr;
        viewer->RecordExpired(*this);
    }
}

std::string_view ConnectionAddressTypeOf(const CSDPObject& record, const CSDPMedia& media)
{
    // The entry's own c= line decides when it has one: with an address, or
    // with a type of its own (a line that names no address).
    const std::string_view own = media.extras->connectionAddressType;
    if (!media.connectionAddress.empty() || own != CSDPMediaExtras().connectionAddressType)
        return own;
    return record.connectionAddressType;
}

bool IsIpv6Media(const CSDPObject& record, const CSDPMedia& media)
{
    return text::EqualsNoCase(ConnectionAddressTypeOf(record, media), "IP6");
}

std::optional<text::CIpv6Address> Ipv6DirectoryGroup(const CSDPObject& directory)
{
    // The last "directory" entry names the group, as it does for IPv4.
    std::optional<text::CIpv6Address> group;
    for (const CSDPMedia& m : directory.media) {
        if (!text::EqualsNoCase(m.media, "directory"))
            continue;
        group = IsIpv6Media(directory, m) ? text::ParseIpv6(m.address) : std::nullopt;
        if (group && (*group)[0] != 0xFF)
            group.reset();
    }
    return group;
}
