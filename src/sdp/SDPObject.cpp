#include "sdp/SDPObject.h"

#include "base/Clock.h"
#include "base/Random.h"

#include <chrono>

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
    if (CViewerWindow* viewer = viewerWindow) {
        viewerWindow = nullptr;
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
    ++lockCount;
    // A free lock is taken without reading the clock; only a busy one waits.
    if (m_mutex.try_lock() || m_mutex.try_lock_for(std::chrono::milliseconds(kLockTimeoutMs)))
        return true;
    // Going on without the lock would race with its holder: refuse instead.
    --lockCount;
    return false;
}

void CSDPObject::Unlock()
{
    --lockCount;
    m_mutex.unlock();
}

bool CSDPObject::IsSameSession(const CSDPObject& other) const
{
    return originSessionId == other.originSessionId;
}

void CSDPObject::UpdateFrom(CSDPObject& newer, int64_t now)
{
    CRecordLock lock(*this);
    if (!lock.ok())
        return;
    if (!own) {
        version = newer.version;
        originUser = newer.originUser;
        originSessionId = newer.originSessionId;
        originVersion = newer.originVersion;
        originNetworkType = newer.originNetworkType;
        originAddressType = newer.originAddressType;
        originAddress = newer.originAddress;
        if (name != newer.name)
            changed = 1;
        name = newer.name;
        if (information != newer.information)
            changed = 1;
        information = newer.information;
        uri = newer.uri;
        email = newer.email;
        phone = newer.phone;
        connectionNetworkType = newer.connectionNetworkType;
        connectionAddressType = newer.connectionAddressType;
        connectionAddress = newer.connectionAddress;
        extras = newer.extras;
        attributes = newer.attributes;
        times = newer.times;
        // A media section that stayed the same keeps the tool the user chose.
        CSlimList<CSDPMedia> fresh = newer.media;
        for (const CSDPMedia& old : media) {
            for (CSDPMedia& candidate : fresh) {
                if (candidate.IsSameMedia(old)) {
                    if (!old.extras->toolChoice.empty() || !old.extras->spare.empty()) {
                        CSDPMediaExtras& kept = candidate.extras.Edit();
                        kept.toolChoice = old.extras->toolChoice;
                        kept.spare = old.extras->spare;
                    } else if (CSDPMediaExtras* kept = candidate.extras.IfSet()) {
                        kept->toolChoice.clear();
                        kept->spare.clear();
                    }
                    break;
                }
            }
        }
        media = std::move(fresh);
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
    for (CShortText* t : {&originUser, &originSessionId, &originVersion, &originNetworkType, &originAddressType,
                          &originAddress, &name, &information, &uri, &email, &phone, &connectionNetworkType,
                          &connectionAddressType, &connectionAddress})
        move(*t);
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
        for (CShortText* t : {&m.media, &m.port, &m.protocol, &m.formatList, &m.connectionNetworkType,
                              &m.connectionAddressType, &m.connectionAddress, &m.information, &m.address})
            move(*t);
        if (CSDPMediaExtras* x = m.extras.IfSet())
            for (CShortText* t : {&x->spare, &x->toolChoice, &x->mediaLabel, &x->protocolLabel, &x->formatLabel,
                                  &x->keyMethod, &x->keyValue, &x->bandwidthModifier, &x->bandwidthValue})
                move(*t);
        for (CShortText& t : m.attributes)
            move(t);
    }
}

void CSDPObject::DeleteLater()
{
    if (deleting.exchange(1))
        return;
    if (CViewerWindow* viewer = viewerWindow) {
        viewerWindow = nullptr;
        viewer->RecordExpired(*this);
    }
}
