#include "reception/qt/ReceptionService.h"

#include <QMetaObject>

CReceptionService::CReceptionService(const CReceiverOptions& options, QObject* parent)
    : QObject(parent), m_options(options)
{
}

// The receiver's thread ends before the object goes; calls it queued and
// not yet delivered are dropped with the object.
CReceptionService::~CReceptionService() { m_receiver.reset(); }

int CReceptionService::Watch(const CReceptionPlan& plan)
{
    if (!m_receiver)
        m_receiver = std::make_unique<CReceiver>(m_options, [this](const CSessionFigures& figures) {
            QMetaObject::invokeMethod(this, [this, figures] { Take(figures); }, Qt::QueuedConnection);
        });
    const int id = m_receiver->Watch(plan);
    m_latest[id] = nullptr;
    return id;
}

void CReceptionService::Unwatch(int id)
{
    if (m_latest.erase(id) && m_receiver)
        m_receiver->Unwatch(id);
}

const CSessionFigures* CReceptionService::Latest(int id) const
{
    auto it = m_latest.find(id);
    return it == m_latest.end() ? nullptr : it->second.get();
}

void CReceptionService::Take(const CSessionFigures& figures)
{
    auto it = m_latest.find(figures.watchId);
    if (it == m_latest.end())
        return; // ended meanwhile
    it->second = std::make_unique<CSessionFigures>(figures);
    emit FiguresArrived(figures.watchId);
}

std::vector<const CSessionFigures*> CReceptionService::AllLatest() const
{
    std::vector<const CSessionFigures*> out;
    for (const auto& [id, figures] : m_latest)
        if (figures)
            out.push_back(figures.get());
    return out;
}
