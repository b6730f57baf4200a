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
        connect(r.date, &QDateEdit::dateChanged, this, &CAnnouncementWizardSchedulePage::UpdateNote);
        connect(r.time, &QTimeEdit::timeChanged, this, &CAnnouncementWizardSchedulePage::UpdateNote);
        connect(r.duration, &QComboBox::currentIndexChanged, this, &CAnnouncementWizardSchedulePage::UpdateNote);
    }
    // Choosing row 1's repetition, even the one it shows, opens row 2.
    connect(m_rows[0].repetition, &QComboBox::activated, this, [this] {
        m_firstRowSet = true;
        UpdateEnabling();
    });
    m_repeatFor = new QComboBox;
    connect(m_repeatFor, &QComboBox::currentIndexChanged, this, &CAnnouncementWizardSchedulePage::UpdateNote);
    m_note = new QLabel;
    m_note->setWordWrap(true);
    m_note->hide();
    auto* repeatLine = new QHBoxLayout;
    repeatLine->addWidget(new QLabel("Repeat for:"));
    repeatLine->addWidget(m_repeatFor);
    repeatLine->addStretch();
    auto* page = new QVBoxLayout(this);
    page->addWidget(intro);
    page->addLayout(grid);
    page->addLayout(repeatLine);
    page->addWidget(m_note);
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
    const int position = m_rows[row].repetition->currentIndex();
    if (m_rows[row].ownKind >= 0 && position == static_cast<int>(RepetitionItems(row).size()))
        return m_rows[row].ownKind;
    return KindAtPosition(row, position);
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
        CRow& r = m_rows[row];
        const std::string own = OwnRepetitionItem(values[row].kind, values[row].interval);
        r.ownKind = own.empty() ? -1 : values[row].kind;
        r.ownInterval = values[row].interval;
        r.repetition->clear();
        for (const std::string& item : RepetitionItems(row))
            r.repetition->addItem(QString::fromStdString(item));
        if (!own.empty())
            r.repetition->addItem(QString::fromStdString(own));
        r.repetition->setCurrentIndex(own.empty() ? PositionOfKind(row, values[row].kind)
                                                  : static_cast<int>(RepetitionItems(row).size()));
        m_rows[row].heardDuration = values[row].duration;
        FillDurations(row);
        m_rows[row].duration->setCurrentIndex(
            std::max(0, PositionOfSeconds(m_rows[row].durations, values[row].duration)));
        if (m_rows[row].durations.empty())
            m_rows[row].duration->setCurrentIndex(-1);
    }
    m_heardSpan = 0;
    for (const CScheduleRowValues& v : values)
        if (v.kind >= kScheduleDaily && v.kind <= kScheduleOther && v.repeatFor > 0) {
            m_heardSpan = v.repeatFor;
            break;
        }
    FillRepeatFor();
    m_repeatFor->setCurrentIndex(std::max(0, PositionOfSeconds(m_repeatChoices, m_heardSpan)));
    if (m_repeatChoices.empty())
        m_repeatFor->setCurrentIndex(-1);
    m_loading = false;
    UpdateEnabling();
    m_shownTimes = PageTimes();
    UpdateNote();
}

void CAnnouncementWizardSchedulePage::UpdateNote()
{
    const size_t entries = m_record.times.size();
    if (m_loading || entries <= kScheduleRows) {
        m_note->hide();
        return;
    }
    const QString count = QString::number(entries);
    const QString dropped = entries == kScheduleRows + 1 ? QString("entry %1 is").arg(entries)
                                                         : QString("entries %1 to %2 are").arg(kScheduleRows + 1).arg(entries);
    m_note->setText(PageTimes() == m_shownTimes
                        ? QString("The session has %1 time entries and this page shows the first three. All of "
                                  "them are kept unless you change the page.").arg(count)
                        : QString("The session has %1 time entries and this page shows the first three: with this "
                                  "change, %2 dropped.").arg(count, dropped));
    m_note->show();
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
    const int kind = KindOf(row);
    m_rows[row].durations =
        kind == kScheduleContinually ? std::vector<CScheduleChoice>{} : WithDuration(DurationChoices(kind), m_rows[row].heardDuration);
    Fill(*m_rows[row].duration, m_rows[row].durations);
}

void CAnnouncementWizardSchedulePage::FillRepeatFor()
{
    m_repeatChoices = WithRepeatSpan(RepeatForChoices(Enabling().coarsestKind), m_heardSpan);
    Fill(*m_repeatFor, m_repeatChoices);
}

void CAnnouncementWizardSchedulePage::UpdateEnabling()
{
    const CScheduleEnabling e = Enabling();
    for (int row = 0; row < kScheduleRows; ++row) {
        m_rows[row].repetition->setEnabled(e.repetition[row]);
        // A session on continually has no time to pick.
        const bool timed = e.fields[row] && KindOf(row) != kScheduleContinually;
        for (QWidget* w : {static_cast<QWidget*>(m_rows[row].date), static_cast<QWidget*>(m_rows[row].time),
                           static_cast<QWidget*>(m_rows[row].duration)})
            w->setEnabled(timed);
    }
    // Row 3 can lose its place without its own list changing: the
    // "Repeat for:" list follows the rows really in use.
    if (WithRepeatSpan(RepeatForChoices(e.coarsestKind), m_heardSpan) != m_repeatChoices)
        FillRepeatFor();
    m_repeatFor->setEnabled(e.repeatFor);
    UpdateNote();
}

void CAnnouncementWizardSchedulePage::Save()
{
    const std::vector<CSDPTime> times = PageTimes();
    // Unchanged, the page leaves what it cannot show (more entries, spans
    // and offsets of their own) as it was.
    if (!m_record.times.empty() && times == m_shownTimes)
        return;
    m_record.times = times;
}

std::vector<CSDPTime> CAnnouncementWizardSchedulePage::PageTimes() const
{
    const CScheduleEnabling e = Enabling();
    std::vector<CScheduleRow> rows;
    for (int row = 0; row < kScheduleRows; ++row) {
        const CRow& r = m_rows[row];
        const int choice = r.duration->currentIndex();
        CScheduleRow out;
        out.kind = KindOf(row);
        const bool timed = out.kind != kScheduleContinually;
        if (!e.inUse[row] || (timed && (choice < 0 || choice >= static_cast<int>(r.durations.size()))))
            continue;
        out.interval = r.ownInterval;
        const QDate date = r.date->date();
        const QTime time = r.time->time();
        out.local.tm_year = date.year() - 1900;
        out.local.tm_mon = date.month() - 1;
        out.local.tm_mday = date.day();
        out.local.tm_hour = time.hour();
        out.local.tm_min = time.minute();
        out.local.tm_sec = time.second();
        out.duration = timed ? r.durations[static_cast<size_t>(choice)].seconds : 0;
        rows.push_back(out);
    }
    const int span = m_repeatFor->currentIndex();
    const int64_t repeatFor =
        span >= 0 && span < static_cast<int>(m_repeatChoices.size()) ? m_repeatChoices[static_cast<size_t>(span)].seconds : 0;
    return ScheduleToTimes(rows, repeatFor, m_clock);
}
