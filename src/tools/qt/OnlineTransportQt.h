#pragma once
#include "tools/OnlineSearch.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// The database's HTTP GET on QNetworkAccessManager: the system's proxy
// settings, connections reused per host, at most a few redirects and never
// from https to http. Get waits in a local event loop, so a dialog that
// shows `progress` stays responsive and its Cancel reaches Cancel().
class CQtOnlineTransport final : public QObject, public OnlineTransport {
    Q_OBJECT
public:
    static constexpr int kMaxRedirects = 5;

    explicit CQtOnlineTransport(QObject* parent = nullptr);
    ~CQtOnlineTransport() override;

    COnlineReply Get(const std::string& url, const COnlineLimits& limits, const BodySink& sink) override;
    bool IsBusy() const { return m_reply != nullptr; }

public slots:
    // Ends the running transfer as Cancelled; nothing when none runs.
    void Cancel();

signals:
    // value from 1 to kOnlineProgressSteps, with the dialog's caption.
    void progress(int value, const QString& caption);

private:
    void Report(EOnlineProgress step);
    void ReadBody();
    void Stop(EOnlineStatus why);

    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;
    const BodySink* m_sink = nullptr;
    uint64_t m_maxBytes = 0;
    uint64_t m_received = 0;
    int m_progress = 0;
    bool m_stopped = false;
    EOnlineStatus m_stopReason = EOnlineStatus::Ok;
};
