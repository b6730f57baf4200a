#pragma once
#include "gui/SchedulePageRules.h"

#include <QWizardPage>

class Clock;
class CSDPObject;
class QComboBox;
class QDateEdit;
class QTimeEdit;

// "Session Schedule": up to three times at which the session takes place,
// each once or repeating, and how long the repetition goes on. Leaving the
// page forward replaces the record's time entries.
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

private:
    struct CRow {
        QComboBox* repetition = nullptr;
        QDateEdit* date = nullptr;
        QTimeEdit* time = nullptr;
        QComboBox* duration = nullptr;
        std::vector<CScheduleChoice> durations;
        int64_t heardDuration = 0; // what the session had, kept as an item
    };
    void Load();
    int KindOf(int row) const;
    CScheduleEnabling Enabling() const;
    void OnRepetitionChanged(int row);
    void FillDurations(int row);
    void FillRepeatFor();
    void UpdateEnabling();
    void ShowTime(int row, int64_t unixSeconds);

    CSDPObject& m_record;
    const Clock& m_clock;
    CRow m_rows[kScheduleRows];
    QComboBox* m_repeatFor = nullptr;
    std::vector<CScheduleChoice> m_repeatChoices;
    bool m_firstRowSet = false;
    bool m_loading = false;
};
