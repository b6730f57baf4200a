#include "tools/qt/OnlineTransportQt.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

CQtOnlineTransport::CQtOnlineTransport(QObject* parent) : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

CQtOnlineTransport::~CQtOnlineTransport() { Cancel(); }

void CQtOnlineTransport::Report(EOnlineProgress step)
{
    if (m_progress < kOnlineProgressSteps)
        ++m_progress;
    emit progress(m_progress, QString::fromLatin1(OnlineProgressCaption(step)));
}

void CQtOnlineTransport::Stop(EOnlineStatus why)
{
    if (!m_reply || m_stopped)
        return;
    m_stopped = true;
    m_stopReason = why;
    m_reply->abort();
}

void CQtOnlineTransport::Cancel() { Stop(EOnlineStatus::Cancelled); }

// The body of a 2xx reply only; an error page is not kept.
void CQtOnlineTransport::ReadBody()
{
    // An aborted reply (ours, or the transfer time-out's) is closed: reading
    // it only earns a warning.
    if (!m_reply || m_stopped || !m_reply->isOpen())
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299) {
        m_reply->readAll();
        return;
    }
    while (m_reply && !m_stopped && m_reply->bytesAvailable() > 0) {
        const QByteArray block = m_reply->read(static_cast<qint64>(kInstallerBlock));
        m_received += static_cast<uint64_t>(block.size());
        if (m_maxBytes && m_received > m_maxBytes) {
            Stop(EOnlineStatus::TooLarge);
            return;
        }
        if (!(*m_sink)(std::string_view(block.constData(), static_cast<size_t>(block.size())))) {
            Stop(EOnlineStatus::NetworkError);
            return;
        }
    }
}

COnlineReply CQtOnlineTransport::Get(const std::string& url, const COnlineLimits& limits, const BodySink& sink)
{
    COnlineReply result;
    const QUrl qurl = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::TolerantMode);
    const QString scheme = qurl.scheme().toLower();
    if (m_reply || !qurl.isValid() || qurl.host().isEmpty() || (scheme != "http" && scheme != "https"))
        return result; // Refused

    QNetworkRequest request(qurl);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kOnlineAgent));
    request.setRawHeader("Accept", "*/*");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    if (limits.idleTimeoutMs > 0)
        request.setTransferTimeout(limits.idleTimeoutMs);

    m_sink = &sink;
    m_maxBytes = limits.maxBytes;
    m_received = 0;
    m_progress = 0;
    m_stopped = false;
    m_stopReason = EOnlineStatus::Ok;
    Report(EOnlineProgress::Resolving);
    m_reply = m_manager->get(request);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] { Stop(EOnlineStatus::TimedOut); });
    if (limits.totalTimeoutMs > 0)
        deadline.start(limits.totalTimeoutMs);
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        Report(EOnlineProgress::Resolved);
        Report(EOnlineProgress::Connecting);
    });
    connect(m_reply, &QNetworkReply::requestSent, this, [this] {
        Report(EOnlineProgress::Connected);
        Report(EOnlineProgress::Sending);
        Report(EOnlineProgress::Sent);
    });
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (m_maxBytes && status >= 200 && status <= 299 && length > 0 && static_cast<uint64_t>(length) > m_maxBytes)
            Stop(EOnlineStatus::TooLarge);
        else
            Report(EOnlineProgress::Receiving);
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &CQtOnlineTransport::ReadBody);
    connect(m_reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!m_reply->isFinished())
        loop.exec();
    deadline.stop();
    ReadBody();

    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    m_sink = nullptr;
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_stopped) {
        result.status = m_stopReason;
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        result.status = EOnlineStatus::TimedOut; // the transfer's idle timeout
    } else if (result.httpStatus != 0 && (result.httpStatus < 200 || result.httpStatus > 299)) {
        result.status = EOnlineStatus::HttpError;
    } else if (reply->error() != QNetworkReply::NoError) {
        result.status = EOnlineStatus::NetworkError;
        result.errorText = reply->errorString().toStdString();
    } else {
        result.status = EOnlineStatus::Ok;
    }
    Report(EOnlineProgress::Received);
    Report(EOnlineProgress::Closing);
    Report(EOnlineProgress::Closed);
    reply->deleteLater();
    return result;
}
