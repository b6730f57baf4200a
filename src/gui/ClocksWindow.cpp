#include "gui/ClocksWindow.h"

#include "base/Clock.h"
#include "clocks/ClockGroups.h"
#include "clocks/PtpListener.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "sdp/StudioAttributes.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QStandardItemModel>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
constexpr int kRecordRole = Qt::UserRole + 1;  // index into m_records, on stream rows
constexpr int kRefreshMs = 2000;

struct CStream {
    std::shared_ptr<CSDPObject> record;
    size_t media;
};

// Every session below `list` with the PTP clock of each media entry.
void Collect(const CSessionList& list, std::vector<CStream>& streams, std::vector<CPtpReference>& references)
{
    for (const auto& record : list) {
        if (record->links->children) {
            Collect(*record->links->children, streams, references);
            continue;
        }
        for (const CMediaPtpClock& c : MediaPtpClocks(*record)) {
            streams.push_back({record, c.mediaIndex});
            references.push_back(c.ptp);
        }
    }
}


QString HeardDetails(const CHeardGrandmaster& g, const Clock& clock)
{
    const std::tm t = clock.LocalTime(g.lastHeard);
    return QString("priority %1/%2, class %3, accuracy 0x%4, %5 steps removed, from %6 at %7")
        .arg(g.priority1).arg(g.priority2).arg(g.clockClass)
        .arg(g.clockAccuracy, 2, 16, QChar('0')).arg(g.stepsRemoved).arg(QString::fromStdString(g.source))
        .arg(QString::asprintf("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec));
}

QString StateText(const CGrandmasterGroup& g, bool open)
{
    if (g.heard)
        return "clock heard";
    if (const std::string text = ClockStateText(g.match); !text.empty())
        return QString::fromStdString(text);
    return open ? "not checked" : "cannot be heard";
}
} // namespace

CClocksWindow::CClocksWindow(CSessionStore& doc, CPtpListener* listener, const Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), m_doc(doc), m_listener(listener), m_clock(clock)
{
    setWindowTitle("Clocks");
    setObjectName("clocks");
    auto* layout = new QVBoxLayout(this);
    m_model = new QStandardItemModel(this);
    m_model->setHorizontalHeaderLabels({"Domain / Grandmaster / Stream", "State", "Details"});
    m_view = new QTreeView(this);
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setUniformRowHeights(true);
    m_view->installEventFilter(this);
    connect(m_view, &QTreeView::doubleClicked, this, [this] { OpenCurrent(); });
    layout->addWidget(m_view);
    m_footer = new QLabel(this);
    m_footer->setWordWrap(true);
    layout->addWidget(m_footer);
    resize(1120, 420);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible())
            Refresh();
    });
    timer->start(kRefreshMs);
}

void CClocksWindow::showEvent(QShowEvent* event)
{
    Refresh();
    QWidget::showEvent(event);
}

bool CClocksWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_view->currentIndex().isValid()) {
            OpenCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CClocksWindow::OpenCurrent()
{
    const QModelIndex index = m_view->currentIndex().siblingAtColumn(0);
    const QVariant row = index.data(kRecordRole);
    if (!row.isValid() || size_t(row.toInt()) >= m_records.size())
        return;
    if (auto record = m_records[size_t(row.toInt())].lock(); record && onOpen)
        onOpen(record);
}

void CClocksWindow::Refresh()
{
    std::vector<CStream> streams;
    std::vector<CPtpReference> references;
    Collect(m_doc.MainList(), streams, references);
    const int64_t now = m_clock.Now();
    const bool open = m_listener && m_listener->Open();
    const auto heard = open ? m_listener->Grandmasters(now) : std::vector<CHeardGrandmaster>{};
    const auto domains = GroupClocks(references, heard, open && m_listener->Settled(now));

    // The rows as text first: an unchanged picture keeps the selection.
    struct CRow {
        int depth;
        QStringList cells;
        int stream = -1;
        bool warn = false;
    };
    std::vector<CRow> rows;
    for (const CDomainClocks& d : domains) {
        rows.push_back({0, {d.domain ? QString("Domain %1").arg(*d.domain) : QString("No domain given"), {}, {}}});
        for (const CGrandmasterGroup& g : d.grandmasters) {
            const QString details = g.heard ? HeardDetails(*g.heard, m_clock)
                                            : QString("named by %1 stream(s)").arg(g.streams.size());
            rows.push_back({1, {g.gmid.empty() ? QString("traceable") : QString::fromStdString(g.gmid), StateText(g, open), details},
                            -1, !g.heard && g.match.state != EClockState::Unknown});
            for (size_t i : g.streams) {
                const CStream& s = streams[i];
                const std::string format = StudioFormatText(ReadStudioAttributes(*s.record, s.record->media[s.media]));
                rows.push_back({2,
                                {QString("%1 (media %2)").arg(QString::fromStdString(s.record->name)).arg(s.media + 1),
                                 g.differs ? QString("differs from the domain's other streams") : QString(),
                                 QString::fromStdString(format)},
                                int(i), g.differs});
            }
        }
    }
    QString picture;
    for (const CRow& r : rows)
        picture += QString::number(r.depth) + r.cells.join('\t') + '\n';
    m_footer->setText(open ? QString("Listening for PTP Announce messages on 224.0.1.129 and ff0e::181, port 320.")
                           : QString::fromStdString(m_listener ? m_listener->Problem() : "clocks cannot be heard: not listening"));
    m_records.clear();
    for (const CStream& s : streams)
        m_records.push_back(s.record);
    if (picture == m_shown)
        return;
    m_shown = picture;
    const QString current = m_view->currentIndex().siblingAtColumn(0).data().toString();
    m_model->removeRows(0, m_model->rowCount());
    QStandardItem* parents[2] = {nullptr, nullptr};
    QModelIndex select;
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (const CRow& r : rows) {
        QList<QStandardItem*> items;
        for (const QString& cell : r.cells) {
            items.append(new QStandardItem(cell));
            items.back()->setToolTip(cell);
        }
        if (r.stream >= 0)
            items[0]->setData(r.stream, kRecordRole);
        if (r.warn)
            items[1]->setIcon(warning);
        QStandardItem* parent = r.depth == 0 ? m_model->invisibleRootItem() : parents[r.depth - 1];
        parent->appendRow(items);
        if (r.depth < 2)
            parents[r.depth] = items[0];
        if (!current.isEmpty() && r.cells[0] == current && !select.isValid())
            select = items[0]->index();
    }
    m_view->expandAll();
    for (int c = 0; c < 2; ++c)
        m_view->resizeColumnToContents(c);
    m_view->setCurrentIndex(select.isValid() ? select : m_model->index(0, 0));
}
