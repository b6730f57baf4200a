// Watches the desktop program from inside, for the end-to-end script: a Qt
// generic plug-in that the real `talmira` loads when started with
// QT_PLUGIN_PATH pointing at its folder and QT_QPA_GENERIC_PLUGINS=talmira-probe.
// The program itself is unchanged; the probe only reads its widgets and does
// what a user could do with them.
//
// stdout, one line per change:
//   window shown | window hidden     the main window's state
//   rows: NAME | NAME ...            the Session column of the list, in view order
//   selected TEXT | no TEXT          the answer to a select command
// stdin, one command per line:
//   select TEXT                      picks the tree item with that text
//   hide                             hides the main window (as the tray does)
#include <QApplication>
#include <QGenericPlugin>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <unistd.h>

namespace {

class CDesktopProbe final : public QObject {
public:
    CDesktopProbe()
    {
        m_poll.setInterval(50);
        connect(&m_poll, &QTimer::timeout, this, &CDesktopProbe::Report);
        m_poll.start();
        m_input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_input, &QSocketNotifier::activated, this, &CDesktopProbe::ReadCommands);
    }

private:
    static void Say(const QString& line)
    {
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    }

    static QMainWindow* Window()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<QMainWindow*>(w))
                return main;
        return nullptr;
    }

    // The list shows its column titles, the tree hides its header.
    static QTreeView* View(QMainWindow* window, bool list)
    {
        for (QTreeView* view : window->findChildren<QTreeView*>())
            if (view->model() && view->isHeaderHidden() != list)
                return view;
        return nullptr;
    }

    void Report()
    {
        QMainWindow* window = Window();
        if (!window)
            return;
        const QString state = window->isVisible() && !window->isMinimized() ? "window shown" : "window hidden";
        if (state != m_state)
            Say(m_state = state);
        QTreeView* list = View(window, true);
        if (!list)
            return;
        QStringList names;
        const QAbstractItemModel& model = *list->model();
        for (int row = 0; row < model.rowCount(); ++row)
            names << model.index(row, 0).data().toString();
        const QString rows = "rows: " + names.join(" | ");
        if (rows != m_rows)
            Say(m_rows = rows);
    }

    void ReadCommands()
    {
        char buffer[512];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            m_input->setEnabled(false); // the writer went away
            return;
        }
        m_pending.append(buffer, got);
        for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0;) {
            const QString command = QString::fromLocal8Bit(m_pending.left(end)).trimmed();
            m_pending.remove(0, end + 1);
            Run(command);
        }
    }

    void Run(const QString& command)
    {
        QMainWindow* window = Window();
        if (!window) {
            Say("no window");
        } else if (command == "hide") {
            window->hide();
        } else if (command.startsWith("select ")) {
            const QString text = command.mid(7);
            QTreeView* tree = View(window, false);
            const QModelIndexList found = tree ? tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, text, 1,
                                                                      Qt::MatchExactly | Qt::MatchRecursive)
                                               : QModelIndexList();
            if (found.isEmpty()) {
                Say("no " + text);
                return;
            }
            tree->setCurrentIndex(found.front());
            Say("selected " + text);
        }
        Report();
    }

    QTimer m_poll;
    QSocketNotifier* m_input = nullptr;
    QByteArray m_pending;
    QString m_state;
    QString m_rows;
};

class CDesktopProbePlugin final : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "desktop_probe.json")
public:
    QObject* create(const QString& name, const QString&) override
    {
        return name == "talmira-probe" ? new CDesktopProbe : nullptr;
    }
};

} // namespace

#include "desktop_probe.moc"
