#include "gui/AlarmsWindow.h"

#include "base/Text.h"
#include "watch/WatchRunner.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {

constexpr int kLogRows = 500;

QString Text(const std::string& bytes)
{
    return QString::fromUtf8(QByteArray::fromStdString(text::AsUtf8(bytes)));
}

QString Time(int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss");
}

// Numbered from 1, as the Reception page and the sheet's media pages do.
QString Media(int media)
{
    return media < 0 ? QString("session") : QString::number(media + 1);
}

// Each column but the last widened to what it now holds; never narrowed,
// so a width the user chose stays while the rows refresh.
void FitColumns(QTreeWidget& table)
{
    for (int column = 0; column + 1 < table.columnCount(); ++column)
        table.header()->resizeSection(column,
                                      std::max(table.header()->sectionSize(column),
                                               static_cast<QAbstractItemView&>(table).sizeHintForColumn(column)));
}

QTreeWidget* Table(const QStringList& columns)
{
    auto* table = new QTreeWidget;
    table->setHeaderLabels(columns);
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->header()->setStretchLastSection(true);
    return table;
}

} // namespace

CAlarmsWindow::CAlarmsWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Alarms");
    resize(760, 480);
    m_active = Table({"Session", "Alarm", "Media", "Raised", "Acknowledged", "Flaps"});
    m_active->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_log = Table({"Time", "Event", "Alarm", "Session", "Media"});
    m_acknowledge = new QPushButton("&Acknowledge");
    m_acknowledgeAll = new QPushButton("Acknowledge A&ll");
    auto* close = new QPushButton("&Close");
    connect(m_acknowledge, &QPushButton::clicked, this, [this] { Acknowledge(false); });
    connect(m_acknowledgeAll, &QPushButton::clicked, this, [this] { Acknowledge(true); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(m_active, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_acknowledge->setEnabled(!m_active->selectedItems().isEmpty()); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_acknowledge);
    buttons->addWidget(m_acknowledgeAll);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Active alarms:"));
    layout->addWidget(m_active, 2);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel("Log:"));
    layout->addWidget(m_log, 3);
    Refresh();
}

void CAlarmsWindow::SetRunner(CWatchRunner* runner)
{
    m_runner = runner;
    Refresh();
}

void CAlarmsWindow::Refresh()
{
    std::map<std::string, std::string> names;
    std::vector<CAlarmEngine::CActive> active;
    std::vector<CHistory::CLogRow> log;
    if (m_runner) {
        for (const CWatchRunner::CStatus& s : m_runner->Status())
            names[s.key] = s.name;
        active = m_runner->Active();
        log = m_runner->Log(kLogRows);
    }
    const auto name = [&](const std::string& key) {
        auto it = names.find(key);
        return Text(it == names.end() || it->second.empty() ? key : it->second);
    };
    m_active->clear();
    for (const CAlarmEngine::CActive& a : active) {
        auto* item = new QTreeWidgetItem(m_active, {name(a.session), AlarmName(a.alarm), Media(a.media),
                                                    Time(a.raisedMs), a.acknowledged ? "yes" : "no",
                                                    QString::number(a.flaps)});
        item->setData(0, Qt::UserRole, QByteArray::fromStdString(a.session));
        item->setData(1, Qt::UserRole, int(a.alarm));
        item->setData(2, Qt::UserRole, a.media);
    }
    m_log->clear();
    // Newest first.
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        new QTreeWidgetItem(m_log, {Time(it->timeMs), Text(it->event), Text(it->alarm), name(it->session),
                                    Media(it->media)});
    FitColumns(*m_active);
    FitColumns(*m_log);
    m_acknowledge->setEnabled(!m_active->selectedItems().isEmpty());
    m_acknowledgeAll->setEnabled(!active.empty());
}

void CAlarmsWindow::Acknowledge(bool all)
{
    if (!m_runner)
        return;
    const int64_t now = CWatchRunner::NowMs();
    if (all) {
        m_runner->AcknowledgeAll(now);
    } else {
        for (QTreeWidgetItem* item : m_active->selectedItems())
            m_runner->Acknowledge(item->data(0, Qt::UserRole).toByteArray().toStdString(),
                                  EAlarm(item->data(1, Qt::UserRole).toInt()), item->data(2, Qt::UserRole).toInt(),
                                  now);
    }
    Refresh();
}
