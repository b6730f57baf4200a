#include "gui/SchedulePage.h"

#include "base/Clock.h"
#include "sdp/SDPObject.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {
void Fill(QComboBox& box, const std::vector<CScheduleChoice>& choices)
{
    box.clear();
    for (const CScheduleChoice& c : choices)
        box.addItem(QString::fromStdString(c.text));
    box.setCurrentIndex(choices.empty() ? -1 : 0);
}
} // namespace

CAnnouncementWizardSchedulePage::CAnnouncementWizardSchedulePage(CSDPObject& record, const Clock& clock, QWidget* parent)
    : QWizardPage(parent), m_record(record), m_clock(clock)
{
    setTitle("Session Schedule");
    auto* intro = new QLabel("Indicate here the times at which the session will be active and its duration.");
    intro->setWordWrap(true);
    auto* grid = new QGridLayout;
    for (int row = 0; row < kScheduleRows; ++row) {
        CRow& r = m_rows[row];
        r.repetition = new QComboBox;
        for (const std::string& item : RepetitionItems(row))
            r.repetition->addItem(QString::fromStdString(item));
        r.date = new QDateEdit;
        r.date->setCalendarPopup(true);
        r.date->setDisplayFormat("dd/MM/yyyy");
        r.time = new QTimeEdit;
        r.time->setDisplayFormat("HH:mm:ss");
        r.duration = new QComboBox;
        grid->addWidget(r.repetition, row, 0);
        grid->addWidget(new QLabel("from:"), row, 1);
        grid->addWidget(r.date, row, 2);
        grid->addWidget(new QLabel("at"), row, 3);
        grid->addWidget(r.time, row, 4);
        grid->addWidget(new QLabel("For"), row, 5);
        grid->addWidget(r.duration, row, 6);
        connect(r.repetition, &QComboBox::currentIndexChanged, this, [this, row] { OnRepetitionChanged(row); });
    }
    // Choosing row 1's repetition, even the one it shows, opens row 2.
    connect(m_rows[0].repetition, &QComboBox::activated, this, [this] {
        m_firstRowSet = true;
        UpdateEnabling();
    });
    m_repeatFor = new QComboBox;
    auto* repeatLine = new QHBoxLayout;
    repeatLine->addWidget(new QLabel("Repeat for:"));
    repeatLine->addWidget(m_repeatFor);
    repeatLine->addStretch();
    auto* page = new QVBoxLayout(this);
    page->addWidget(intro);
    page->addLayout(grid);
    page->addLayout(repeatLine);
    page->addStretch();
}

void CAnnouncementWizardSchedulePage::initializePage()
{
    Load();
}

bool CAnnouncementWizardSchedulePage::validatePage()
{
    // Past dates are accepted: the page never keeps the user.
    Save();
    return true;
}

int CAnnouncementWizardSchedulePage::KindOf(int row) const
{
    return KindAtPosition(row, m_rows[row].repetition->currentIndex());
}

CScheduleEnabling CAnnouncementWizardSchedulePage::Enabling() const
{
    int kinds[kScheduleRows];
    for (int row = 0; row < kScheduleRows; ++row)
        kinds[row] = KindOf(row);
    return DecideScheduleEnabling(m_firstRowSet, kinds);
}

void CAnnouncementWizardSchedulePage::ShowTime(int row, int64_t unixSeconds)
{
    const std::tm local = m_clock.LocalTime(unixSeconds);
    m_rows[row].date->setDate(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
    m_rows[row].time->setTime(QTime(local.tm_hour, local.tm_min, local.tm_sec));
}

void CAnnouncementWizardSchedulePage::Load()
{
    m_loading = true;
    const size_t shown = std::min<size_t>(m_record.times.size(), kScheduleRows);
    m_firstRowSet = shown > 0;
    CScheduleRowValues values[kScheduleRows];
    for (int row = 0; row < kScheduleRows; ++row) {
        if (static_cast<size_t>(row) < shown)
            values[row] = RowFromTime(m_record.times[row]);
        else
            values[row] = {row == 0 ? kScheduleOnce : kScheduleUnused, m_clock.Now(), 0, 0};
        ShowTime(row, values[row].start ? values[row].start : m_clock.Now());
        m_rows[row].repetition->setCurrentIndex(PositionOfKind(row, values[row].kind));
        m_rows[row].heardDuration = values[row].duration;
        FillDurations(row);
        m_rows[row].duration->setCurrentIndex(
            std::max(0, PositionOfSeconds(m_rows[row].durations, values[row].duration)));
        if (m_rows[row].durations.empty())
            m_rows[row].duration->setCurrentIndex(-1);
    }
    FillRepeatFor();
    for (const CScheduleRowValues& v : values)
        if (v.kind >= kScheduleDaily && v.repeatFor > 0) {
            m_repeatFor->setCurrentIndex(std::max(0, PositionOfSeconds(m_repeatChoices, v.repeatFor)));
            break;
        }
    m_loading = false;
    UpdateEnabling();
}

void CAnnouncementWizardSchedulePage::OnRepetitionChanged(int row)
{
    if (m_loading)
        return;
    FillDurations(row);
    FillRepeatFor();
    UpdateEnabling();
}

void CAnnouncementWizardSchedulePage::FillDurations(int row)
{
    m_rows[row].durations = WithDuration(DurationChoices(KindOf(row)), m_rows[row].heardDuration);
    Fill(*m_rows[row].duration, m_rows[row].durations);
}

void CAnnouncementWizardSchedulePage::FillRepeatFor()
{
    m_repeatChoices = RepeatForChoices(Enabling().coarsestKind);
    Fill(*m_repeatFor, m_repeatChoices);
}

void CAnnouncementWizardSchedulePage::UpdateEnabling()
{
    const CScheduleEnabling e = Enabling();
    for (int row = 0; row < kScheduleRows; ++row) {
        m_rows[row].repetition->setEnabled(e.repetition[row]);
        for (QWidget* w : {static_cast<QWidget*>(m_rows[row].date), static_cast<QWidget*>(m_rows[row].time),
                           static_cast<QWidget*>(m_rows[row].duration)})
            w->setEnabled(e.fields[row]);
    }
    // Row 3 can lose its place without its own list changing: the
    // "Repeat for:" list follows the rows really in use.
    if (RepeatForChoices(e.coarsestKind) != m_repeatChoices)
        FillRepeatFor();
    m_repeatFor->setEnabled(e.repeatFor);
}

void CAnnouncementWizardSchedulePage::Save()
{
    const CScheduleEnabling e = Enabling();
    std::vector<CScheduleRow> rows;
    for (int row = 0; row < kScheduleRows; ++row) {
        const CRow& r = m_rows[row];
        const int choice = r.duration->currentIndex();
        if (!e.inUse[row] || choice < 0 || choice >= static_cast<int>(r.durations.size()))
            continue;
        CScheduleRow out;
        out.kind = KindOf(row);
        const QDate date = r.date->date();
        const QTime time = r.time->time();
        out.local.tm_year = date.year() - 1900;
        out.local.tm_mon = date.month() - 1;
        out.local.tm_mday = date.day();
        out.local.tm_hour = time.hour();
        out.local.tm_min = time.minute();
        out.local.tm_sec = time.second();
        out.duration = r.durations[static_cast<size_t>(choice)].seconds;
        rows.push_back(out);
    }
    const int span = m_repeatFor->currentIndex();
    const int64_t repeatFor =
        span >= 0 && span < static_cast<int>(m_repeatChoices.size()) ? m_repeatChoices[static_cast<size_t>(span)].seconds : 0;
    m_record.times = ScheduleToTimes(rows, repeatFor, m_clock);
}
