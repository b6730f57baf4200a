#pragma once
#include "gui/SessionPages.h"
#include "sdp/SDPObject.h"

#include <QDialog>

#include <memory>

class CSessionStore;
class CTalmiraRuntime;
class CReceptionPage;
class CViewerHold;
class QPushButton;
class QDialogButtonBox;
class QTabWidget;

// Which composition of pages a sheet shows.
enum class ESheetKind {
    Session,   // from the session list: Info, Contact, Schedule, Encryption, one page per media entry
    Directory, // from the tree: a folder as above, a scope directory as Info and Admin Scope
};

// The property sheet of one record. It holds the record's lock and is the
// record's viewer window for as long as it exists; a record whose deletion
// begins meanwhile closes it with the expiry message. Every media entry gets
// a page of its own: the tab bar scrolls when they do not fit.
class CSessionPropertySheet final : public QDialog, public CViewerWindow {
    Q_OBJECT
public:
    // None when the record's lock is refused (its deletion has begun).
    static std::unique_ptr<CSessionPropertySheet> Create(const std::shared_ptr<CSDPObject>& record,
                                                    const CPropertyContext& context, ESheetKind kind,
                                                    QWidget* parent = nullptr);
    ~CSessionPropertySheet() override;

    QTabWidget& Pages() const { return *m_tabs; }
    QDialogButtonBox& Buttons() const { return *m_buttons; }
    // Watch / Stop Watching; null where the program gives no watch.
    QPushButton* WatchButton() const { return m_watchButton; }
    // The icon name of page `index` (see PageIconName).
    QString PageIconOf(int index) const;
    bool Expired() const { return m_expired; }

    void accept() override;
    void RecordExpired(CSDPObject& record) override;

private:
    CSessionPropertySheet(const std::shared_ptr<CSDPObject>& record, std::unique_ptr<CViewerHold> hold,
                     const CPropertyContext& context, ESheetKind kind, QWidget* parent);
    void AddPage(QWidget* page, const QString& title, EPageIcon icon);
    void Apply();

    std::shared_ptr<CSDPObject> m_record;
    std::unique_ptr<CViewerHold> m_hold;
    CPropertyContext m_context;
    QTabWidget* m_tabs = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    CSessionPage* m_info = nullptr;
    CReceptionPage* m_reception = nullptr;
    QPushButton* m_watchButton = nullptr;
    bool m_expired = false;
};

// "Admin Scope Properties", "Folder Properties" or "Session Properties".
QString SheetCaption(int sessionType);

// The Properties command: shows the sheet modally, then lets the record go
// and (from the list) tells the views the lists changed. Nothing happens for
// no record or a record being deleted.
void ShowProperties(CSessionStore& doc, const CPropertyContext& context, const std::shared_ptr<CSDPObject>& record,
                    ESheetKind kind, QWidget* parent);
// The pages' needs taken from the running program; without a reception
// service the sheet has no Reception page.
CPropertyContext PropertyContextOf(CTalmiraRuntime& runtime, Prompter& prompter,
                                   CReceptionService* reception = nullptr, CPreviewService* preview = nullptr);
