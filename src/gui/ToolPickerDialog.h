#pragma once
#include "tools/ToolLaunch.h"

#include <QDialog>

#include <functional>
#include <optional>

class CGuiToolDialogs;
class Prompter;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTreeWidget;
class ToolDialogs;
struct CMediaListEntry;
struct CToolData;
struct CToolEntry;

// "Tool Picker": which tools of each media, protocol and format may start,
// and in which order. The dialog edits the registry in place and only asks
// the core's picker rules; OK saves "tools.sort", Cancel reads it again and
// matches it to the plug-ins, so the edits are dropped.
class CToolPickerDialog final : public QDialog {
    Q_OBJECT
public:
    CToolPickerDialog(CToolData& tools, Prompter& prompter, ToolDialogs& dialogs, QWidget* parent = nullptr,
                      ExecutableLocator locate = SearchExecutable);

    // "new?": the online plug-in search for a group; true when it ended with OK.
    std::function<bool(const CMediaListEntry& group)> searchNewPlugins;
    // Loading the plug-ins again failed for good: the program cannot go on.
    std::function<void()> onFatal;

    QTreeWidget& Groups() const { return *m_groups; }
    QListWidget& Available() const { return *m_available; }
    QListWidget& Selected() const { return *m_selected; }
    QPushButton& AddButton() const { return *m_add; }
    QPushButton& RemoveButton() const { return *m_remove; }
    QPushButton& UpButton() const { return *m_up; }
    QPushButton& DownButton() const { return *m_down; }
    QPushButton& PathButton() const { return *m_path; }
    QMenu& GroupMenu() const { return *m_groupMenu; }
    QMenu& ToolMenu() const { return *m_toolMenu; }

    // The context menus' commands.
    void ShowDescription();
    void SearchNewPlugins();

public slots:
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CMediaListEntry* CurrentGroup() const;
    // The group's tool index behind the selected row of `list`, or -1.
    int SelectedTool(const QListWidget& list) const;
    void FillGroups();
    // Refills both tool lists; `keep` (a tool index) stays selected in the list it lands in.
    void FillTools(int keep = -1);
    void OnAdd();
    void OnRemove();
    void OnMove(bool up);
    void OnPathButton();
    void FindTool(const CToolEntry& tool);
    void EditPath(const CToolEntry& tool);
    void ShowPathButtonFor(const QListWidget& list);
    void PopupMenu(QMenu& menu, QWidget& list, const QPoint& globalAt);

    CToolData& m_tools;
    Prompter& m_prompter;
    ToolDialogs& m_dialogs;
    ExecutableLocator m_locate;
    QTreeWidget* m_groups;
    QListWidget* m_available;
    QListWidget* m_selected;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
    QPushButton* m_path;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QMenu* m_groupMenu;
    QMenu* m_toolMenu;
    QListWidget* m_lastList = nullptr; // the tool list that last had the focus
    bool m_filling = false;
};

// "Change Path": one field for a tool's executable path.
class CChangePathDialog final : public QDialog {
    Q_OBJECT
public:
    CChangePathDialog(const QString& path, QWidget* parent = nullptr);
    QString Path() const;

private:
    QLineEdit* m_field;
};

// The Tools command: the picker as a modal dialog over `parent`, with the
// desktop's own searches.
void RunToolPicker(CToolData& tools, Prompter& prompter, CGuiToolDialogs& dialogs, QWidget* parent,
                   std::function<void()> onFatal);
