#pragma once
#include <QWidget>

#include "preview/PreviewAnalysis.h"

#include <memory>
#include <optional>
#include <vector>

class CPreviewService;
class CPreviewView;
class CReceptionService;
class CSDPObject;
class QGroupBox;
class QLabel;
struct CWatchHooks;
struct CDupFigures;
struct CMediaFigures;
struct CSessionFigures;

// The last 60 s of a media entry's bit rate as a small bar plot, scaled to
// the highest second shown.
class CBitRatePlot final : public QWidget {
    Q_OBJECT
public:
    explicit CBitRatePlot(QWidget* parent = nullptr);
    void SetHistory(std::vector<double> bitsPerSecond);
    const std::vector<double>& History() const { return m_history; }
    QSize sizeHint() const override { return {180, 64}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> m_history;
};

// A watched session's last 24 hours, an hour a cell, oldest on the left:
// green when up all the hour, amber mostly, red less than 90 %, grey with
// no sample.
class CAvailabilityBar final : public QWidget {
    Q_OBJECT
public:
    explicit CAvailabilityBar(QWidget* parent = nullptr);
    void SetHours(std::vector<std::optional<double>> hours);
    const std::vector<std::optional<double>>& Hours() const { return m_hours; }
    QSize sizeHint() const override { return {360, 34}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::optional<double>> m_hours;
};

// "Reception": what arrives for each media entry of the session, live once
// a second, with its picture and sound levels above the packet figures when
// a preview service is given. The session is watched from the moment the
// page is first shown until the sheet closes. A session the program
// watches all the time shows its availability above, from the watch's
// history.
class CReceptionPage final : public QWidget {
    Q_OBJECT
public:
    CReceptionPage(const std::shared_ptr<CSDPObject>& record, CReceptionService& service,
                   CPreviewService* preview = nullptr, const CWatchHooks* watch = nullptr, QWidget* parent = nullptr);
    ~CReceptionPage() override;

    int WatchId() const { return m_watch; }
    // The figures shown, for tests and the list's column.
    const CSessionFigures* Shown() const;
    // Reads the availability again (hidden while not watched); once a
    // minute while shown.
    void RefreshAvailability();
    const QLabel& AvailabilityLine() const { return *m_availability; }
    const CAvailabilityBar& AvailabilityBar() const { return *m_bar; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct CMediaBox {
        QGroupBox* box = nullptr;
        QLabel* state = nullptr;
        QLabel* traffic = nullptr;
        QLabel* rtp = nullptr;
        QLabel* timing = nullptr;
        QLabel* payload = nullptr;
        QLabel* ts = nullptr;
        QLabel* senders = nullptr;
        CBitRatePlot* plot = nullptr;
        CPreviewView* preview = nullptr; // a video or sound entry's, when previews are on
    };
    // A redundant pair shown as one stream: its merged figures above its two legs.
    struct CPairBox {
        QGroupBox* box = nullptr;
        QLabel* merged = nullptr;
    };
    void Update(int id);
    void UpdatePreview(int id);
    void Fill(CMediaBox& box, const CMediaFigures& m);
    void FillPair(CPairBox& box, const CDupFigures& pair, const CSessionFigures& session);

    std::shared_ptr<CSDPObject> m_record;
    CReceptionService& m_service;
    std::vector<CMediaBox> m_boxes;
    std::vector<CPairBox> m_pairs; // parallel to the figures' pairs
    QLabel* m_summary = nullptr;
    QLabel* m_availability = nullptr;
    CAvailabilityBar* m_bar = nullptr;
    const CWatchHooks* m_watchHooks = nullptr;
    int m_watch = 0;
    CPreviewService* m_preview = nullptr;
    int m_previewWatch = 0;
    std::vector<preview::CStreamFormat> m_announced; // by media index
};

// Colour of a state in words: green receiving, amber impaired, red silent, grey not watched.
QColor ReceptionStateColor(int state);
