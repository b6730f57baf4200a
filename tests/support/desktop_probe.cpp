// Watches the desktop program from inside, for the end-to-end script: a Qt
// generic plug-in that the real `talmira` loads when started with
// QT_PLUGIN_PATH pointing at its folder and QT_QPA_GENERIC_PLUGINS=talmira-probe.
// The program itself is unchanged; the probe only reads its widgets and does
// what a user could do with them.
//
// stdout, one line per change:
//   window shown | window hidden     the main window's state
//   splash shown over window | splash shown alone | splash closed
//   rows: NAME | NAME ...            the Session column of the list, in view order
//   page TITLE | page none           the open wizard's current page
//   message TEXT | message closed TEXT   a message box that opened or closed
// and one answer per command: what was done, or "no ...", "disabled ..." or
// "refused ..." (a value the field does not take).
// stdin, one command per line:
//   select TEXT                      picks the tree item with that text
//   select-row NAME                  clicks the list row of that session
//   trigger TEXT                     the command whose menu text (without "&"
//                                    and the key after the tab) is TEXT
//   set LABEL = VALUE                fills the wizard page's field labelled
//                                    LABEL (its buddy, else the field to its
//                                    right; the topmost such label)
//   get LABEL                        says "value LABEL = TEXT": what that field shows
//   choose TEXT                      picks the row with that text in a list of the
//                                    wizard page
//   next | back | finish | cancel    presses that button of the open wizard
//   click TEXT                       presses the button with that text in the window on top
//   hide                             hides the main window (as the tray does)
//   tab TEXT                         brings the tab with that text to the front
//                                    in the window on top (as Ctrl+Tab would)
//   labels NAME                      says "labels NAME = TEXT | TEXT ...": the
//                                    visible labels of that object name in the
//                                    window on top, in widget order
//   count-rows                       from now on reports "count: N" (the list's
//                                    rows) instead of every row's name
//   keylat T [WHAT]                  does WHAT and says "keylat T MS" once the
//                                    list repaints, MS the wall clock then (ms
//                                    since the epoch). WHAT: a key pressed in
//                                    the list (Down when none, PageDown, End,
//                                    Home), "sort N" (a click on the list's
//                                    column title N) or "search TEXT" (TEXT
//                                    typed over the search field's text;
//                                    none empties it)
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QGenericPlugin>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QSplashScreen>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QWizard>

#include <algorithm>
#include <cstdio>
#include <map>
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_keyStamp.isEmpty()) {
            watched->removeEventFilter(this);
            Say("keylat " + m_keyStamp + " " + QString::number(QDateTime::currentMSecsSinceEpoch()));
            m_keyStamp.clear();
        }
        return false;
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

    // The first row of the view with exactly that text, or an invalid index.
    static QModelIndex Match(QAbstractItemView* view, const QString& text, Qt::MatchFlags flags = Qt::MatchExactly)
    {
        const QModelIndexList found = view && view->model()
            ? view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, text, 1, flags) : QModelIndexList();
        return found.isEmpty() ? QModelIndex() : found.front();
    }

    // The window on top: a message box over the wizard over the main window.
    static QWidget* Top(QMainWindow& window)
    {
        return QApplication::activeModalWidget() ? QApplication::activeModalWidget() : &window;
    }

    void Report()
    {
        QMainWindow* window = Window();
        if (!window)
            return;
        const QString state = window->isVisible() && !window->isMinimized() ? "window shown" : "window hidden";
        if (state != m_state)
            Say(m_state = state);
        bool splash = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            splash = splash || (qobject_cast<QSplashScreen*>(w) && w->isVisible());
        if (splash != m_splash)
            Say((m_splash = splash) ? (m_state == "window shown" ? "splash shown over window" : "splash shown alone")
                                    : "splash closed");
        QTreeView* list = View(window, true);
        if (!list)
            return;
        QStringList names;
        const QAbstractItemModel& model = *list->model();
        for (int row = 0; row < model.rowCount() && !m_countOnly; ++row)
            names << model.index(row, 0).data().toString();
        const QString rows = m_countOnly ? "count: " + QString::number(model.rowCount()) : "rows: " + names.join(" | ");
        if (rows != m_rows)
            Say(m_rows = rows);
        QWizard* wizard = Wizard();
        const QString page =
            "page " + (wizard && wizard->currentPage() ? wizard->currentPage()->title() : QString("none"));
        if (page != m_page)
            Say(m_page = page);
        QStringList messages;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                messages << box->text().replace('\n', ' ');
        for (const QString& text : messages)
            if (!m_messages.contains(text))
                Say("message " + text);
        for (const QString& text : m_messages)
            if (!messages.contains(text))
                Say("message closed " + text);
        m_messages = messages;
    }

    // The wizard the user sees: the modal one on top (a sub-wizard) first.
    static QWizard* Wizard()
    {
        if (auto* top = qobject_cast<QWizard*>(QApplication::activeModalWidget()))
            return top;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* wizard = qobject_cast<QWizard*>(w); wizard && wizard->isVisible())
                return wizard;
        return nullptr;
    }

    // A menu text as read: no mnemonic marks, no key after the tab.
    static QString Plain(QString text)
    {
        text = text.section('\t', 0, 0);
        return text.remove(QRegularExpression("&(?!&)"));
    }

    static bool IsField(QWidget* w)
    {
        if (!w->isVisible() || qobject_cast<QAbstractSpinBox*>(w->parentWidget()) ||
            qobject_cast<QComboBox*>(w->parentWidget()))
            return false; // the line edit inside a spin box or combo box
        return qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w) ||
               qobject_cast<QAbstractSpinBox*>(w);
    }

    // The field a label names: its buddy, else the nearest field to its
    // right on the same line. The topmost label with that text counts.
    static QWidget* FieldOf(QWidget* page, const QString& text)
    {
        const auto where = [page](QWidget* w) { return QRect(w->mapTo(page, QPoint(0, 0)), w->size()); };
        QList<QLabel*> labels;
        for (QLabel* label : page->findChildren<QLabel*>())
            if (label->isVisible() && Plain(label->text()) == text)
                labels << label;
        if (labels.isEmpty())
            return nullptr;
        QLabel* label = *std::min_element(labels.begin(), labels.end(), [&](QLabel* a, QLabel* b) {
            return std::pair(where(a).top(), where(a).left()) < std::pair(where(b).top(), where(b).left());
        });
        if (label->buddy())
            return label->buddy();
        const QRect at = where(label);
        QWidget* best = nullptr;
        for (QWidget* w : page->findChildren<QWidget*>()) {
            const QRect r = where(w);
            if (IsField(w) && r.left() >= at.right() && r.top() <= at.center().y() && r.bottom() >= at.center().y() &&
                (!best || r.left() < where(best).left()))
                best = w;
        }
        return best;
    }

    // Puts VALUE into a field as typing or choosing would; false when it
    // does not fit (read-only, disabled, no such item, unreadable date).
    static bool Fill(QWidget* field, const QString& value)
    {
        if (!field->isEnabled())
            return false;
        if (auto* line = qobject_cast<QLineEdit*>(field)) {
            if (line->isReadOnly())
                return false;
            line->setText(value);
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(field)) {
            text->setPlainText(value);
        } else if (auto* box = qobject_cast<QComboBox*>(field)) {
            const int item = box->findText(value, Qt::MatchExactly);
            if (item < 0)
                return false;
            box->setCurrentIndex(item);
            emit box->activated(item);
        } else if (auto* when = qobject_cast<QDateTimeEdit*>(field)) {
            const QDateTime parsed = QDateTime::fromString(value, when->displayFormat());
            if (!parsed.isValid())
                return false;
            if (when->displayedSections() & QDateTimeEdit::DateSections_Mask)
                when->setDate(parsed.date());
            if (when->displayedSections() & QDateTimeEdit::TimeSections_Mask)
                when->setTime(parsed.time());
        } else if (auto* spin = qobject_cast<QSpinBox*>(field)) {
            bool number = false;
            spin->setValue(value.toInt(&number));
            return number;
        } else {
            return false;
        }
        return true;
    }

    static QString Shown(QWidget* field)
    {
        if (auto* line = qobject_cast<QLineEdit*>(field))
            return line->text();
        if (auto* text = qobject_cast<QPlainTextEdit*>(field))
            return text->toPlainText();
        if (auto* box = qobject_cast<QComboBox*>(field))
            return box->currentText();
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(field))
            return spin->text();
        return {};
    }

    // As a click on the row: the first visible list of the wizard page
    // that has a row with exactly that text.
    static void Choose(const QString& text)
    {
        QWizard* wizard = Wizard();
        QWidget* page = wizard ? wizard->currentPage() : nullptr;
        for (QAbstractItemView* view : page ? page->findChildren<QAbstractItemView*>() : QList<QAbstractItemView*>()) {
            const QModelIndex found = view->isVisible() ? Match(view, text) : QModelIndex();
            if (!found.isValid())
                continue;
            view->setFocus(Qt::MouseFocusReason);
            view->setCurrentIndex(found);
            Say("chose " + text);
            return;
        }
        Say("no choice " + text);
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
        static const std::map<QString, QWizard::WizardButton> buttons{
            {"next", QWizard::NextButton}, {"back", QWizard::BackButton}, {"finish", QWizard::FinishButton},
            {"cancel", QWizard::CancelButton}};
        QMainWindow* window = Window();
        if (!window) {
            Say("no window");
        } else if (command == "hide") {
            window->hide();
        } else if (command.startsWith("select ")) {
            const QString text = command.mid(7);
            QTreeView* tree = View(window, false);
            const QModelIndex found = Match(tree, text, Qt::MatchExactly | Qt::MatchRecursive);
            if (!found.isValid())
                return Say("no " + text);
            tree->setCurrentIndex(found);
            Say("selected " + text);
        } else if (command.startsWith("select-row ")) {
            SelectRow(*window, command.mid(11));
        } else if (command.startsWith("trigger ")) {
            Trigger(*window, command.mid(8));
        } else if (command.startsWith("set ") || command.startsWith("get ")) {
            const QString label = command.mid(4).section('=', 0, 0).trimmed();
            QWizard* wizard = Wizard();
            QWidget* field = wizard && wizard->currentPage() ? FieldOf(wizard->currentPage(), label) : nullptr;
            if (!field)
                Say("no field " + label);
            else if (command.startsWith("get "))
                Say("value " + label + " = " + Shown(field));
            else
                Say(Fill(field, command.section('=', 1).trimmed()) ? "set " + label : "refused " + label);
        } else if (command.startsWith("choose ")) {
            Choose(command.mid(7));
        } else if (command.startsWith("tab ")) {
            const QString text = command.mid(4);
            for (QTabWidget* tabs : Top(*window)->findChildren<QTabWidget*>())
                for (int i = 0; i < tabs->count(); ++i)
                    if (Plain(tabs->tabText(i)) == text) {
                        tabs->setCurrentIndex(i);
                        return Say("tab " + text);
                    }
            Say("no tab " + text);
        } else if (command.startsWith("place ") || command.startsWith("grab ")) {
            // "place X Y W H NAME" moves a window, "grab FILE NAME" saves a window's or a widget's picture.
            QStringList words = command.split(' ');
            const QString name = words.mid(words[0] == "place" ? 5 : 2).join(' ');
            QWidget* shown = nullptr;
            for (QWidget* w : QApplication::allWidgets())
                if (w->isVisible() && (w->isWindow() ? w->windowTitle() : w->accessibleName()) == name)
                    shown = w;
            if (!shown)
                return Say("no widget " + name);
            if (words[0] == "place")
                shown->setGeometry(words[1].toInt(), words[2].toInt(), words[3].toInt(), words[4].toInt());
            Say(words[0] == "place" ? "placed " + name : shown->grab().save(words[1]) ? "grabbed " + name : "not grabbed");
        } else if (command.startsWith("labels ")) {
            const QString name = command.mid(7);
            QStringList texts;
            for (QLabel* label : Top(*window)->findChildren<QLabel*>(name))
                if (label->isVisible())
                    texts << label->text().replace('\n', ' ');
            Say("labels " + name + " = " + texts.join(" | "));
        } else if (const auto button = buttons.find(command); button != buttons.end()) {
            QWizard* wizard = Wizard();
            QAbstractButton* press = wizard ? wizard->button(button->second) : nullptr;
            if (!press || !press->isVisible() || !press->isEnabled())
                return Say("no " + command);
            Say("pressed " + command); // before the click: a page may open a modal loop
            press->click();
        } else if (command.startsWith("click ")) {
            Click(*window, command.mid(6));
        } else if (command == "count-rows") {
            m_countOnly = true;
            Say("counting rows");
        } else if (command.startsWith("keylat ")) {
            if (QTreeView* list = View(window, true)) {
                const QString what = command.mid(7).trimmed().section(' ', 1);
                m_keyStamp = command.mid(7).trimmed().section(' ', 0, 0);
                list->viewport()->installEventFilter(this);
                Act(*window, *list, what);
            }
        }
        Report();
    }

    // What a user does to the list, as posted input events: a key in the
    // list, a click on a column title, or text typed into the search field.
    static void Act(QMainWindow& window, QTreeView& list, const QString& what)
    {
        const auto press = [](QObject* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                              const QString& text = {}) {
            QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, modifiers, text));
            QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, modifiers, text));
        };
        if (what.startsWith("sort ")) {
            QHeaderView* header = list.header();
            const int section = what.mid(5).toInt();
            const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                            header->height() / 2);
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(header->viewport(),
                                            new QMouseEvent(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                                                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                            Qt::NoModifier));
        } else if (what == "search" || what.startsWith("search ")) {
            QLineEdit* field = nullptr;
            for (QLineEdit* edit : window.findChildren<QLineEdit*>())
                if (edit->accessibleName() == "Search")
                    field = edit;
            if (!field)
                return Say("no search field");
            field->setFocus();
            press(field, Qt::Key_A, Qt::ControlModifier);
            const QString text = what.mid(7);
            if (text.isEmpty())
                press(field, Qt::Key_Backspace);
            else
                press(field, 0, Qt::NoModifier, text);
        } else {
            static const std::map<QString, int> keys{{"", Qt::Key_Down},
                                                     {"Down", Qt::Key_Down},
                                                     {"PageDown", Qt::Key_PageDown},
                                                     {"End", Qt::Key_End},
                                                     {"Home", Qt::Key_Home}};
            const auto key = keys.find(what);
            if (key == keys.end())
                return Say("no key " + what);
            press(&list, key->second);
        }
    }

    // As a click on the row: the list gets the focus (so its commands
    // apply) and the row becomes the selected one.
    static void SelectRow(QMainWindow& window, const QString& name)
    {
        QTreeView* list = View(&window, true);
        const QModelIndex found = Match(list, name);
        if (!found.isValid())
            return Say("no row " + name);
        if (!window.isActiveWindow())
            QApplication::setActiveWindow(&window);
        list->setFocus(Qt::MouseFocusReason);
        list->setCurrentIndex(found);
        Say("selected row " + name);
    }

    // The window on top takes the click.
    static void Click(QMainWindow& window, const QString& text)
    {
        for (QAbstractButton* button : Top(window)->findChildren<QAbstractButton*>())
            if (button->isVisible() && button->isEnabled() && Plain(button->text()) == text) {
                Say("clicked " + text); // before: the click may open a modal loop
                button->click();
                return;
            }
        Say("no button " + text);
    }

    static void Trigger(QMainWindow& window, const QString& text)
    {
        for (QAction* action : window.findChildren<QAction*>()) {
            if (Plain(action->text()) != text)
                continue;
            if (!action->isEnabled())
                return Say("disabled " + text);
            Say("triggered " + text); // before: the command may open a modal loop
            action->trigger();
            return;
        }
        Say("no command " + text);
    }

    QTimer m_poll;
    bool m_countOnly = false;
    QString m_keyStamp; // the keylat command waiting for the list's repaint
    QSocketNotifier* m_input = nullptr;
    QByteArray m_pending;
    QString m_state;
    bool m_splash = false;
    QString m_rows;
    QString m_page;
    QStringList m_messages;
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
