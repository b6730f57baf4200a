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
    m_record->links.Edit().viewerWindow = m_window;
}

void CViewerHold::Unseat()
{
    CRecordLinks* const links = m_record->links.IfSet();
    if (m_window && links && links->viewerWindow == m_window)
        links->viewerWindow = nullptr;
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
