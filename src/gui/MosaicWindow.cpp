#include "gui/MosaicWindow.h"

#include "gui/PreviewView.h"

#include "gui/ReceptionColumn.h"
#include "gui/ReceptionPage.h"
#include "preview/qt/PreviewService.h"
#include "reception/ReceptionFigures.h"
#include "reception/ReceptionPlan.h"
#include "reception/qt/ReceptionService.h"
#include "sdp/SDPObject.h"
#include "views/SessionListModel.h"

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace {

constexpr int kTileWidth = 272;
constexpr int kPictureHeight = (kTileWidth - 12) * 9 / 16;
constexpr int kGap = 8;
constexpr int kTickMs = 500;
// A turn ends with a new picture (and a few seconds of levels), or after
// this long when nothing comes.
constexpr double kTurnSeconds = 20;
constexpr long long kTurnWindows = 30; // tenths of a second of levels

class CServiceFeed final : public CMosaicFeed {
public:
    CServiceFeed(CPreviewService& preview, CReceptionService* reception) : m_preview(preview), m_reception(reception) {}

    int Decode(CSDPObject& session) override
    {
        std::vector<preview::CPreviewSource> sources;
        {
            CRecordLock lock(session);
            if (!lock.ok())
                return 0;
            sources = m_preview.SourcesOf(session);
        }
        // Keyframes only: a tile is a glance, black and freeze are the Reception page's.
        return sources.empty() ? 0 : m_preview.Watch(std::move(sources), preview::CPreviewOptions{});
    }
    void StopDecoding(int id) override { m_preview.Unwatch(id); }
    const std::map<int, preview::CPreviewSnapshot>* Snapshots(int id) const override { return m_preview.Latest(id); }

    int Receive(CSDPObject& session) override
    {
        if (!m_reception)
            return 0;
        CReceptionPlan plan;
        {
            CRecordLock lock(session);
            if (!lock.ok())
                return 0;
            plan = PlanReception(session);
        }
        return plan.media.empty() ? 0 : m_reception->Watch(plan);
    }
    void StopReceiving(int id) override
    {
        if (m_reception)
            m_reception->Unwatch(id);
    }
    int ReceptionState(int id) const override
    {
        const CSessionFigures* figures = m_reception ? m_reception->Latest(id) : nullptr;
        return figures ? WorstReceptionState(*figures) : int(EReceptionState::NotWatched);
    }
    int MaxDecoders() const override { return m_preview.MaxDecoders(); }

private:
    CPreviewService& m_preview;
    CReceptionService* m_reception;
};


} // namespace

std::unique_ptr<CMosaicFeed> MakeMosaicFeed(CPreviewService& preview, CReceptionService* reception)
{
    return std::make_unique<CServiceFeed>(preview, reception);
}

CMosaicWindow::CMosaicWindow(QAbstractItemModel& rows, std::unique_ptr<CMosaicFeed> feed, QWidget* parent)
    : QWidget(parent, Qt::Window), m_rows(rows), m_feed(std::move(feed))
{
    setWindowTitle("Mosaic");
    setObjectName("mosaic");
    auto* layout = new QVBoxLayout(this);
    m_scroll = new QScrollArea(this);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid = new QWidget;
    m_grid->setBackgroundRole(QPalette::Dark);
    m_grid->setAutoFillBackground(true);
    m_scroll->setWidget(m_grid);
    m_scroll->setBackgroundRole(QPalette::Dark);
    layout->addWidget(m_scroll, 1);
    m_footer = new QLabel(this);
    layout->addWidget(m_footer);
    // Scrolling brings other tiles into view: they are asked for at once.
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { Tick(); });
    const auto queue = [this] {
        if (m_rebuildQueued || !isVisible()) // showing takes the rows anew
            return;
        m_rebuildQueued = true;
        QTimer::singleShot(0, this, [this] {
            if (m_rebuildQueued)
                Rebuild();
        });
    };
    connect(&m_rows, &QAbstractItemModel::modelReset, this, queue);
    connect(&m_rows, &QAbstractItemModel::layoutChanged, this, queue);
    connect(&m_rows, &QAbstractItemModel::rowsInserted, this, queue);
    connect(&m_rows, &QAbstractItemModel::rowsRemoved, this, queue);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible())
            Tick();
    });
    timer->start(kTickMs);
    resize(4 * (kTileWidth + kGap) + 40, 2 * (kPictureHeight + 70) + 80);
}

CMosaicWindow::~CMosaicWindow() { StopAll(); }

void CMosaicWindow::StopAll()
{
    for (CMosaicTile* tile : m_tiles) {
        if (tile->m_decode)
            m_feed->StopDecoding(std::exchange(tile->m_decode, 0));
        if (tile->m_receive)
            m_feed->StopReceiving(std::exchange(tile->m_receive, 0));
    }
}

void CMosaicWindow::Rebuild()
{
    m_rebuildQueued = false;
    std::vector<std::shared_ptr<CSDPObject>> records;
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        auto record = m_rows.index(row, 0).data(CSessionListModel::kRecordRole).value<std::shared_ptr<CSDPObject>>();
        if (record && !IsDirectoryType(record->sessionType) && !record->IsDeleting())
            records.push_back(std::move(record));
    }
    const CSDPObject* focused = nullptr;
    for (CMosaicTile* tile : m_tiles)
        if (tile->hasFocus())
            focused = tile->Record().get();
    std::unordered_map<const CSDPObject*, CMosaicTile*> kept;
    for (CMosaicTile* tile : m_tiles)
        kept[tile->Record().get()] = tile;
    std::vector<CMosaicTile*> tiles;
    for (const auto& record : records) {
        auto it = kept.find(record.get());
        if (it != kept.end()) {
            tiles.push_back(it->second);
            kept.erase(it);
        } else {
            tiles.push_back(new CMosaicTile(record, *this));
        }
    }
    // What left the list stops being decoded and counted.
    for (const auto& [record, gone] : kept) {
        if (gone->m_decode)
            m_feed->StopDecoding(gone->m_decode);
        if (gone->m_receive)
            m_feed->StopReceiving(gone->m_receive);
        gone->hide();
        gone->deleteLater();
    }
    m_tiles = std::move(tiles);
    Lay();
    CMosaicTile* focus = nullptr;
    for (CMosaicTile* tile : m_tiles)
        if (tile->Record().get() == focused)
            focus = tile;
    if (!focus && !m_tiles.empty() && isActiveWindow())
        focus = m_tiles.front();
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
    m_footer->setText(m_tiles.empty()
                          ? QString("No sessions with pictures or sound in this directory.")
                          : QString("%1 session(s). Tiles in view are decoded, %2 at a time, taking turns; arrow keys "
                                    "move, Enter opens, Escape closes.")
                                .arg(m_tiles.size())
                                .arg(m_feed->MaxDecoders()));
    Tick();
}

void CMosaicWindow::Lay()
{
    const int width = m_scroll->viewport()->width();
    m_columns = std::max(1, (width - kGap) / (kTileWidth + kGap));
    int height = 0;
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        CMosaicTile* tile = m_tiles[i];
        const QSize size = tile->sizeHint();
        const int column = int(i) % m_columns;
        const int row = int(i) / m_columns;
        tile->setGeometry(kGap + column * (size.width() + kGap), kGap + row * (size.height() + kGap), size.width(),
                          size.height());
        tile->show();
        height = tile->geometry().bottom() + kGap;
    }
    m_grid->resize(width, std::max(height, m_scroll->viewport()->height()));
}

bool CMosaicWindow::InView(const CMosaicTile* tile) const
{
    const QRect shown(tile->mapTo(m_scroll->viewport(), QPoint(0, 0)), tile->size());
    return isVisible() && m_scroll->viewport()->rect().intersects(shown);
}

void CMosaicWindow::Tick()
{
    const double now = preview::SteadySeconds();
    std::vector<CMosaicTile*> waiting;
    std::vector<CMosaicTile*> finished;
    int busy = 0;
    for (CMosaicTile* tile : m_tiles) {
        if (!InView(tile)) {
            if (tile->m_decode)
                m_feed->StopDecoding(std::exchange(tile->m_decode, 0));
            if (tile->m_receive)
                m_feed->StopReceiving(std::exchange(tile->m_receive, 0));
            continue;
        }
        if (!tile->m_receive)
            tile->m_receive = m_feed->Receive(*tile->Record());
        const bool over = tile->Take(*m_feed, now);
        if (!tile->m_decode)
            waiting.push_back(tile);
        else if (over)
            finished.push_back(tile);
        else
            ++busy;
        tile->update();
    }
    // A finished turn goes on while nobody waits for its decoder.
    if (waiting.empty()) {
        busy += int(finished.size());
    } else {
        for (CMosaicTile* tile : finished)
            m_feed->StopDecoding(std::exchange(tile->m_decode, 0));
    }
    // The longest waiting first, in list order among equals.
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const CMosaicTile* a, const CMosaicTile* b) { return a->m_lastTurn < b->m_lastTurn; });
    for (CMosaicTile* tile : waiting) {
        if (busy >= m_feed->MaxDecoders())
            break;
        if (tile->m_nothing)
            continue;
        tile->m_lastTurn = now;
        tile->m_decode = m_feed->Decode(*tile->Record());
        if (!tile->m_decode) {
            tile->m_nothing = true; // neither video nor sound
            continue;
        }
        ++busy;
        tile->m_turnStart = now;
        tile->m_startPicture = tile->m_video.video.pictureTime;
        tile->m_startWindows = tile->m_audio.audio.windows;
    }
}

int CMosaicWindow::CurrentTile() const
{
    for (size_t i = 0; i < m_tiles.size(); ++i)
        if (m_tiles[i]->hasFocus())
            return int(i);
    return -1;
}

void CMosaicWindow::Move(int dx, int dy)
{
    const int current = CurrentTile();
    if (current < 0) {
        if (!m_tiles.empty())
            m_tiles.front()->setFocus(Qt::TabFocusReason);
        return;
    }
    const int next = current + dx + dy * m_columns;
    if (next < 0 || next >= int(m_tiles.size()) || (dx && next / m_columns != current / m_columns))
        return;
    m_tiles[size_t(next)]->setFocus(Qt::TabFocusReason);
    m_scroll->ensureWidgetVisible(m_tiles[size_t(next)], 0, kGap);
}

void CMosaicWindow::Open(CMosaicTile* tile)
{
    if (onOpen && !tile->Record()->IsDeleting())
        onOpen(tile->Record());
}

void CMosaicWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Rebuild();
    if (!m_tiles.empty() && CurrentTile() < 0)
        m_tiles.front()->setFocus(Qt::OtherFocusReason);
}

void CMosaicWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    StopAll();
}

void CMosaicWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Lay();
}

void CMosaicWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape: close(); return;
    case Qt::Key_Left: Move(-1, 0); return;
    case Qt::Key_Right: Move(1, 0); return;
    case Qt::Key_Up: Move(0, -1); return;
    case Qt::Key_Down: Move(0, 1); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const int current = CurrentTile(); current >= 0)
            Open(m_tiles[size_t(current)]);
        return;
    default: QWidget::keyPressEvent(event);
    }
}

CMosaicTile::CMosaicTile(std::shared_ptr<CSDPObject> record, CMosaicWindow& window)
    : QWidget(window.m_grid), m_record(std::move(record)), m_window(window), m_name(QString::fromStdString(m_record->name))
{
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(m_name);
    setAccessibleName(m_name);
}

QSize CMosaicTile::sizeHint() const { return {kTileWidth, kPictureHeight + 12 + 2 * fontMetrics().height() + 8}; }

bool CMosaicTile::Take(CMosaicFeed& feed, double now)
{
    m_now = now;
    if (m_receive)
        m_state = feed.ReceptionState(m_receive);
    const auto* shots = m_decode ? feed.Snapshots(m_decode) : nullptr;
    if (!shots)
        return false;
    bool failed = !shots->empty();
    bool video = false;
    bool audio = false;
    for (const auto& [index, s] : *shots) {
        failed = failed && s.state == "failed";
        if (s.video.present && !video) {
            m_video = s;
            video = m_hasVideo = true;
        } else if (s.audio.present && !audio) {
            m_audio = s;
            audio = m_hasAudio = true;
        } else if (!m_hasVideo && !m_hasAudio) {
            m_video.state = s.state; // what the tile says until something shows
            m_video.message = s.message;
        }
    }
    if (m_video.video.jpeg && m_video.video.pictureTime != m_pictureTime) {
        m_pictureTime = m_video.video.pictureTime;
        m_picture.loadFromData(m_video.video.jpeg->data(), int(m_video.video.jpeg->size()), "JPEG");
    }
    const bool pictureDone = !m_hasVideo || m_video.video.pictureTime > m_startPicture;
    const bool levelsDone = !m_hasAudio || m_audio.audio.windows - m_startWindows >= kTurnWindows;
    return failed || ((m_hasVideo || m_hasAudio) && pictureDone && levelsDone) || now - m_turnStart > kTurnSeconds;
}

void CMosaicTile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor state = ReceptionStateColor(m_state);
    p.fillRect(rect(), palette().base());
    // The reception state as the frame; focus as a second frame inside.
    p.fillRect(QRect(0, 0, width(), 4), state);
    p.fillRect(QRect(0, height() - 4, width(), 4), state);
    p.fillRect(QRect(0, 0, 4, height()), state);
    p.fillRect(QRect(width() - 4, 0, 4, height()), state);
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 3));
        p.drawRect(rect().adjusted(5, 5, -6, -6));
    }
    const QRect frame(6, 6, width() - 12, kPictureHeight);
    p.fillRect(frame, Qt::black);
    QStringList marks; // alarms, left
    QString loudness;  // or the picture's age, right
    double age = -1;
    if (!m_picture.isNull()) {
        QSize size = m_picture.size().scaled(frame.size(), Qt::KeepAspectRatio);
        p.drawImage(QRect(frame.center() - QPoint(size.width() / 2, size.height() / 2), size), m_picture);
        age = m_now - m_pictureTime;
        if (m_video.video.black)
            marks << "BLACK";
        if (m_video.video.frozen)
            marks << "FROZEN";
    }
    const std::vector<double>& peaks = m_audio.audio.peakDbfs;
    if (m_hasAudio && !peaks.empty()) {
        // Alone, the meters fill the frame; beside a picture they stand at its right edge.
        const int channels = int(std::min<size_t>(peaks.size(), 16));
        const int barWidth = m_picture.isNull() ? std::min(24, (frame.width() - 16) / channels - 4) : 6;
        const int left = m_picture.isNull() ? frame.center().x() - channels * (barWidth + 4) / 2
                                            : frame.right() - channels * (barWidth + 2) - 4;
        const int top = frame.top() + 8;
        const int height = frame.height() - 16 - (m_picture.isNull() ? fontMetrics().height() : 0);
        for (int c = 0; c < channels; ++c) {
            const QRect bar(left + c * (barWidth + (m_picture.isNull() ? 4 : 2)), top, barWidth, height);
            p.fillRect(bar, QColor(40, 40, 40));
            const auto fraction = MeterFraction;
            const int rms = int(fraction(m_audio.audio.rmsDbfs[size_t(c)]) * height);
            const int peak = int(fraction(peaks[size_t(c)]) * height);
            p.fillRect(QRect(bar.left(), bar.bottom() - rms + 1, barWidth, rms),
                       peaks[size_t(c)] > -1 ? QColor(220, 40, 40) : QColor(40, 180, 70));
            p.fillRect(QRect(bar.left(), bar.bottom() - peak, barWidth, 2), QColor(250, 200, 40));
        }
        if (m_audio.audio.silent)
            marks << "SILENCE";
        if (m_picture.isNull() && m_audio.audio.windows > 0)
            loudness = QString("%1 LUFS").arg(m_audio.audio.shortTermLufs, 0, 'f', 1);
    }
    if (m_picture.isNull() && (!m_hasAudio || peaks.empty())) {
        const QString what = !m_video.message.empty() ? QString::fromStdString(m_video.message)
                             : m_nothing                ? QString("No picture or sound to show")
                             : !Decoding()              ? QString("Waiting for its turn")
                             : m_video.state == "waiting" ? QString("Waiting for a decoder")
                                                          : QString("Opening the stream");
        p.setPen(QColor(200, 200, 200));
        p.drawText(frame.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, what);
    }
    const int line = fontMetrics().height();
    if (age >= 0)
        loudness = QString("%1 s ago").arg(std::max(0.0, age), 0, 'f', 0);
    if (!marks.isEmpty() || !loudness.isEmpty()) {
        const QRect band(frame.left(), frame.bottom() - line - 1, frame.width(), line + 2);
        p.fillRect(band, QColor(0, 0, 0, 150));
        p.setPen(Qt::white);
        p.drawText(band.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignRight, loudness);
        p.setPen(QColor(255, 90, 90));
        p.drawText(band.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, marks.join(' '));
    }
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(palette().text().color());
    const QRect name(8, frame.bottom() + 4, width() - 16, line);
    p.drawText(name, Qt::AlignLeft | Qt::AlignVCenter, QFontMetrics(bold).elidedText(m_name, Qt::ElideRight, name.width()));
    p.setFont(font());
    p.setPen(state);
    const QString stateText = m_receive ? QString::fromLatin1(ReceptionStateName(EReceptionState(m_state))) : "not watched";
    p.drawText(name.translated(0, line), Qt::AlignLeft | Qt::AlignVCenter,
               stateText + (Decoding() ? QString("  ·  decoding") : QString()));
}

void CMosaicTile::keyPressEvent(QKeyEvent* event) { m_window.keyPressEvent(event); }

void CMosaicTile::mousePressEvent(QMouseEvent*) { setFocus(Qt::MouseFocusReason); }

void CMosaicTile::mouseDoubleClickEvent(QMouseEvent*) { m_window.Open(this); }

void CMosaicTile::focusInEvent(QFocusEvent*) { update(); }

void CMosaicTile::focusOutEvent(QFocusEvent*) { update(); }
