#include "gui/HelpPages.h"

#include "base/Prompter.h"
#include "gui/MainFrame.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QWhatsThis>

namespace {

QString WebBase(QString host)
{
    host = host.trimmed();
    while (host.endsWith('/'))
        host.chop(1);
    if (host.isEmpty() || host.contains("://"))
        return host;
    return "https://" + host;
}

// A double click on the toolbar where no button is goes to the home page.
class CToolBarDoubleClick final : public QObject {
public:
    CToolBarDoubleClick(QToolBar& bar, std::function<void()> action)
        : QObject(&bar), m_bar(bar), m_action(std::move(action))
    {
        bar.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_bar && event->type() == QEvent::MouseButtonDblClick &&
            !m_bar.childAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
            m_action();
        return QObject::eventFilter(watched, event);
    }

private:
    QToolBar& m_bar;
    std::function<void()> m_action;
};
} // namespace

CHelpPages::CHelpPages(const QString& webHost, QString localHelp)
    : opener(&QDesktopServices::openUrl), m_webBase(WebBase(webHost)), m_localHelp(std::move(localHelp))
{
}

QString CHelpPages::InstalledHelpPage()
{
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .absoluteFilePath(QStringLiteral(TALMIRA_DATA_FROM_BIN "/help/index.html"));
    if (QFileInfo(installed).isFile())
        return QDir::cleanPath(installed);
    return QStringLiteral(TALMIRA_SOURCE_HELP "/index.html");
}

QUrl CHelpPages::TopicsUrl(const QString& section) const
{
    QUrl url = HasWebHost() ? QUrl(m_webBase + "/Talmira/help/") : QUrl::fromLocalFile(m_localHelp);
    if (!section.isEmpty())
        url.setFragment(section);
    return url;
}

QUrl CHelpPages::HomeUrl() const
{
    return HasWebHost() ? QUrl(m_webBase + "/") : QUrl::fromLocalFile(m_localHelp);
}

QString CHelpPages::HomePrompt() const
{
    if (!HasWebHost())
        return QStringLiteral("No web site is set up: shows the help page installed with Talmira");
    return "Go to the website " + QUrl(m_webBase).host();
}

bool CHelpPages::ShowTopics(Prompter& prompter, const QString& section) const
{
    if (opener(TopicsUrl(section)))
        return true;
    prompter.Show("I can't find a webbrowser, make sure you installed one!");
    return false;
}

bool CHelpPages::ShowHome(Prompter& prompter) const
{
    if (opener(HomeUrl()))
        return true;
    prompter.Show("Could not find a Web browser.\nPlease install one.", EPromptButtons::OkCancel);
    return false;
}

void AttachHelp(CMainFrame& window, const CHelpPages& pages, Prompter& prompter)
{
    QAction* topics = window.HelpTopicsAction();
    QAction* home = window.WebsiteAction();
    topics->setEnabled(true);
    home->setEnabled(true);
    topics->setShortcut(QKeySequence::HelpContents);
    topics->setStatusTip("Open the help pages");
    home->setStatusTip(pages.HomePrompt());
    // F1 opens the page at the part of the window that has the focus.
    QObject::connect(topics, &QAction::triggered, &window, [&window, &pages, &prompter] {
        QString section;
        if (window.ListView().hasFocus())
            section = "list";
        else if (window.TreeView().hasFocus())
            section = "tree";
        pages.ShowTopics(prompter, section);
    });
    QObject::connect(home, &QAction::triggered, &window, [&pages, &prompter] { pages.ShowHome(prompter); });

    QAction* pointer = QWhatsThis::createAction(&window);
    pointer->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    window.addAction(pointer);
    window.TreeView().setWhatsThis(
        "The directories: the TTL Scope, one per administrative scope, your own folders and those "
        "announced by others. Pick one to list its sessions.");
    window.ListView().setWhatsThis(
        "The sessions of the chosen directory that the filter lets through. Double-click or press "
        "Enter to start the tools for a session; click a column heading to sort by it.");
    window.statusBar()->setWhatsThis("Command prompts, and the date and time.");
    if (auto* bar = window.findChild<QToolBar*>("toolbar")) {
        for (QAction* action : bar->actions())
            if (!action->isSeparator())
                action->setWhatsThis(action->statusTip().isEmpty() ? action->toolTip() : action->statusTip());
        new CToolBarDoubleClick(*bar, [&pages, &prompter] { pages.ShowHome(prompter); });
    }
}
