#pragma once
#include "gui/PropertyArt.h"
#include "tools/ToolLaunch.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAdminScopeList;
class CReceptionService;
class CSDPObject;
class CToolLauncher;
class CPreviewService;
class Clock;
class Prompter;
class QCheckBox;
class QListWidget;
class QPushButton;

// How available a watched session was: the shares of its sampled minutes
// up over 24 hours and 7 days, and the last 24 hours hour by hour (oldest
// first; none where nothing was sampled).
struct CAvailability {
    std::optional<double> day, week;
    std::vector<std::optional<double>> hours;
};

// The program's watch as the sheet uses it; empty: no Watch button.
struct CWatchHooks {
    std::function<bool(const CSDPObject&)> watching;
    std::function<void(const CSDPObject&)> toggle; // Watch / Stop Watching, as on the row
    // Nothing while the session is not watched.
    std::function<std::optional<CAvailability>(const CSDPObject&)> availability;
};

// What the property pages need from the program besides the record.
struct CPropertyContext {
    const Clock& clock;
    Prompter& prompter;
    CToolLauncher* launcher = nullptr;       // none: the start buttons start nothing
    const CToolRegistry* registry = nullptr; // none: no tools are listed
    ExecutableLocator locate = SearchExecutable;
    const CAdminScopeList* scopes = nullptr;
    // Opens a web page; false when no browser could take it. None: the desktop's browser.
    std::function<bool(const std::string& url)> openUrl;
    // Watches what arrives for the Reception page; none: no such page.
    CReceptionService* reception = nullptr;
    // Decodes the picture and sound the Reception page shows; none: no picture.
    CPreviewService* preview = nullptr;
    CWatchHooks watch;
};

// The title and icon of a media page, chosen by the exact media name.
struct CMediaPageLook {
    QString title;
    EPageIcon icon;
};
CMediaPageLook MediaPageLook(const std::string& media, int sessionType);

// The pages show the record as it was when the sheet opened; they all read
// it under the lock the sheet holds.

// "Info": name, information, attributes, the type's picture, "Start All"
// and "Auto Start".
class CSessionPage final : public QWidget {
    Q_OBJECT
public:
    CSessionPage(const std::shared_ptr<CSDPObject>& record, const CPropertyContext& context,
                     QWidget* parent = nullptr);
    // Takes the page's data (OK or Apply): the "Auto Start" box, when the
    // user changed it, becomes the record's start-tools flag.
    void Apply();

private:
    void OnStartAll();

    std::shared_ptr<CSDPObject> m_record;
    const CPropertyContext& m_context;
    QCheckBox* m_autoStart = nullptr;
    bool m_autoStartTaken = false; // the box as last taken from or into the record
};

// "Contact": e-mail, phone, URL, sender, "View Web Page".
class COwnerPage final : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kNotAWebPageText =
        "This address is not opened: only web pages (http, https and ftp) are.";

    COwnerPage(CSDPObject& record, const CPropertyContext& context, QWidget* parent = nullptr);

private:
    void OnViewWebPage();

    const CPropertyContext& m_context;
    std::string m_url;
};

// "Schedule": the schedule in words, the verdict, the last message.
class CSessionSchedulePage final : public QWidget {
    Q_OBJECT
public:
    CSessionSchedulePage(CSDPObject& record, const Clock& clock, QWidget* parent = nullptr);
};

// "Encryption": the session's key method and key.
class CEncryptionPage final : public QWidget {
    Q_OBJECT
public:
    explicit CEncryptionPage(const CSDPObject& record, QWidget* parent = nullptr);
};

// One media entry: address, port, scope, levels, description, encryption,
// the tools and formats that can serve it, its attributes and "Start".
class CMediaPage final : public QWidget {
    Q_OBJECT
public:
    CMediaPage(const std::shared_ptr<CSDPObject>& record, int mediaIndex, const CPropertyContext& context,
                    QWidget* parent = nullptr);

private:
    void OnStart();

    std::shared_ptr<CSDPObject> m_record;
    int m_index;
    const CPropertyContext& m_context;
    QListWidget* m_tools = nullptr;
};

// "Admin Scope": the administrative scope behind a scope directory, read only.
class CSessionScopePage final : public QWidget {
    Q_OBJECT
public:
    CSessionScopePage(const CSDPObject& record, const CAdminScopeList* scopes, QWidget* parent = nullptr);
};

// The entry of the "Tool(s):" list for one launch: the tool's name and the
// arguments it is given, blank-separated.
QString ToolListText(const CToolLaunch& launch);
