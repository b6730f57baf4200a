#pragma once
#include "tools/OnlineSearch.h"
#include "tools/ToolLauncher.h"

#include <QDialog>

#include <memory>

class CQtOnlineTransport;
class QRadioButton;
struct CToolEntry;

// "Auto Start?": the session is not on now; start it anyway, or when it is.
class CAutoStartDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CAutoStartDialog(const QString& text, QWidget* parent = nullptr);
    // What OK means now.
    EAutoStartChoice Choice() const;

private:
    QRadioButton* m_startNow;
    QRadioButton* m_autoStart;
};

// "Where do I search?": on this computer or in the online tool database.
class CWhereToSearchDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CWhereToSearchDialog(QWidget* parent = nullptr);
    ESearchWhere Choice() const;

private:
    QRadioButton* m_fileSystem;
    QRadioButton* m_online;
};

// The launcher's dialogs on the desktop, and the online database searches
// behind the "Searching..." dialog. Messages go through the prompter.
class CGuiToolDialogs final : public ToolDialogs {
public:
    explicit CGuiToolDialogs(Prompter& prompter);
    ~CGuiToolDialogs() override;

    // The window the dialogs belong to.
    void SetParent(QWidget* parent) { m_parent = parent; }
    // Where the database is and where downloads go; known once the settings are read.
    void SetOnline(const COnlineSettings& settings) { m_online = settings; }
    const COnlineSettings& Online() const { return m_online; }

    EAutoStartChoice AskAutoStart(const std::string& text) override;
    ESearchWhere AskWhereToSearch() override;
    std::optional<std::string> FindToolOnDisk(const std::string& toolFile) override;
    bool SearchOnlinePlugin(const std::string& media, const std::string& protocol,
                            const std::string& formats) override;
    bool SearchOnlineTool(const std::string& toolFile) override;
    // The Tool Picker's search for a group: offers not newer than the
    // plug-ins of `installed` are left out.
    bool SearchOnlinePlugin(const std::string& media, const std::string& protocol, const std::string& formats,
                            const std::vector<CToolEntry>* installed);
    // Start-up: asks the database for a newer version and offers it; the
    // downloaded installer is not run, its folder can be opened. Silent
    // when no database is set or anything fails.
    std::optional<std::string> CheckForUpdate();

    // How web pages and folders are opened; tests replace them.
    UrlOpener openBrowser;
    UrlOpener openFolder;

private:
    template <class Run>
    auto WithSearchingDialog(Run&& run);

    Prompter& m_prompter;
    QWidget* m_parent = nullptr;
    COnlineSettings m_online;
    std::unique_ptr<CQtOnlineTransport> m_transport;
};
