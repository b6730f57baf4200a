#include "gui/ViewerHold.h"

#include "base/Prompter.h"

#include <QDialog>

CViewerHold::CViewerHold(std::shared_ptr<CSDPObject> record) : m_record(std::move(record)), m_lock(*m_record) {}

CViewerHold::~CViewerHold()
{
    Unseat();
}

void CViewerHold::Seat(CViewerWindow& window)
{
    m_window = &window;
    m_record->viewerWindow = m_window;
}

void CViewerHold::Unseat()
{
    if (m_window && m_record->viewerWindow == m_window)
        m_record->viewerWindow = nullptr;
    m_window = nullptr;
}

void CloseOnExpiry(QDialog& dialog, Prompter& prompter)
{
    QMetaObject::invokeMethod(
        &dialog,
        [&dialog, &prompter] {
            prompter.Show(CSDPObject::kExpiredText);
            dialog.reject();
        },
        Qt::QueuedConnection);
}
