#pragma once
#include <QDialog>

#include <functional>

class CToolSearchQt;
class Prompter;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

// "Find Tool": searches a folder tree for a tool's executable on a worker
// thread and lists every match; OK returns the picked one. Stop, OK and
// Cancel wait for the worker, so it never outlives a search the user ended.
class CFindToolDialog final : public QDialog {
    Q_OBJECT
public:
    CFindToolDialog(const QString& toolFile, Prompter& prompter, QWidget* parent = nullptr);
    ~CFindToolDialog() override;

    QString ResultPath() const { return m_result; }
    QString StartFolder() const { return m_startFolder; }
    void SetStartFolder(const QString& folder);
    bool IsSearching() const;

    // "&Change...": the folder picker; returns the chosen folder, empty on
    // Cancel. Tests replace it.
    std::function<QString(QWidget* parent, const QString& current)> pickFolder;

    QPushButton& ChangeButton() const { return *m_change; }
    QPushButton& FindNowButton() const { return *m_findNow; }
    QPushButton& StopButton() const { return *m_stop; }
    QPushButton& NewSearchButton() const { return *m_newSearch; }
    QListWidget& Matches() const { return *m_matches; }
    QLabel& Processing() const { return *m_processing; }

public slots:
    void accept() override;
    void reject() override;

private:
    void OnChange();
    void OnFindNow();
    void OnStop();
    void OnNewSearch();
    void OnFinished();
    void ShowIdle();

    Prompter& m_prompter;
    QString m_toolFile;
    QString m_startFolder;
    QString m_result;
    CToolSearchQt* m_search;
    QLineEdit* m_folderField;
    QPushButton* m_change;
    QPushButton* m_findNow;
    QPushButton* m_stop;
    QPushButton* m_newSearch;
    QProgressBar* m_busy;
    QListWidget* m_matches;
    QLabel* m_processing;
};
