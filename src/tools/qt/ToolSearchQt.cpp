#include "tools/qt/ToolSearchQt.h"

#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QTimer>

CToolSearchQt::CToolSearchQt(QObject* parent) : QObject(parent)
{
    // The worker never touches the dialog: everything goes through the
    // event loop of this object's thread.
    CToolSearch::Callbacks callbacks;
    callbacks.onFolder = [this](const std::string& folder) {
        const QString text = QFile::decodeName(QByteArray::fromStdString(folder));
        QMetaObject::invokeMethod(this, [this, text] { emit processing(text); }, Qt::QueuedConnection);
    };
    callbacks.onMatch = [this](const std::string& path) {
        const QString text = QFile::decodeName(QByteArray::fromStdString(path));
        QMetaObject::invokeMethod(this, [this, text] { emit found(text); }, Qt::QueuedConnection);
    };
    callbacks.onFinished = [this] {
        QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
    };
    m_search = std::make_unique<CToolSearch>(std::move(callbacks));
}

CToolSearchQt::~CToolSearchQt() { m_search->Stop(); }

bool CToolSearchQt::Start(const QString& startFolder, const QString& toolFile)
{
    return m_search->Start(QFile::encodeName(startFolder).toStdString(), QFile::encodeName(toolFile).toStdString());
}

void CToolSearchQt::Stop()
{
    // A worker inside a slow folder read takes its time to see the request:
    // the window keeps painting meanwhile (input waits, so no new search
    // can start), then the finished worker is joined.
    m_search->RequestStop();
    if (!m_search->IsIdle()) {
        QEventLoop wait;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &wait, [this, &wait] {
            if (m_search->IsIdle())
                wait.quit();
        });
        poll.start(10);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_search->Stop();
}
