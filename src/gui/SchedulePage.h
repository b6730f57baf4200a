#pragma once
#include "gui/SchedulePageRules.h"

#include <QWizardPage>

class Clock;
class CSDPObject;
class QComboBox;
class QDateEdit;
class QLabel;
class QTimeEdit;

// "Session Schedule": up to three times at which the session takes place,
// each once or repeating, and how long the repetition goes on. Leaving the
// page forward replaces the record's time entries when the user changed
// what the page showed of them; otherwise they stay exactly as they were.
class CAnnouncementWizardSchedulePage final : public QWizardPage {
    Q_OBJECT
public:
    CAnnouncementWizardSchedulePage(CSDPObject& record, const Clock& clock, QWidget* parent = nullptr);

    void initializePage() override;
    bool validatePage() override;
    // The rows' choices into the record's time entries.
    void Save();

    QComboBox& Repetition(int row) const { return *m_rows[row].repetition; }
    QDateEdit& Date(int row) const { return *m_rows[row].date; }
    QTimeEdit& Time(int row) const { return *m_rows[row].time; }
    QComboBox& Duration(int row) const { return *m_rows[row].duration; }
    QComboBox& RepeatFor() const { return *m_repeatFor; }
    // Shown when the session has more entries than the page has rows.
    QLabel& Note() const { return *m_note; }

private:
    struct CRow {
        QComboBox* repetition = nullptr;
        QDateEdit* date = nullptr;
        QTimeEdit* time = nullptr;
        QComboBox* duration = nullptr;
        std::vector<CScheduleChoice> durations;
        int64_t heardDuration = 0; // what the session had, kept as an item
        // An entry the usual items cannot show has an item of its own.
        int ownKind = -1;
        int64_t ownInterval = 0;
    };
    void Load();
    int KindOf(int row) const;
    CScheduleEnabling Enabling() const;
    void OnRepetitionChanged(int row);
    void FillDurations(int row);
    void FillRepeatFor();
    void UpdateEnabling();
    void ShowTime(int row, int64_t unixSeconds);
    // The time entries the rows give as they stand.
    std::vector<CSDPTime> PageTimes() const;
    void UpdateNote();

    CSDPObject& m_record;
    const Clock& m_clock;
    CRow m_rows[kScheduleRows];
    QComboBox* m_repeatFor = nullptr;
    QLabel* m_note = nullptr;
    std::vector<CScheduleChoice> m_repeatChoices;
    int64_t m_heardSpan = 0; // the "Repeat for:" span the session had
    // What the rows gave right after the record's entries were shown.
    std::vector<CSDPTime> m_shownTimes;
    bool m_firstRowSet = false;
    bool m_loading = false;
};
