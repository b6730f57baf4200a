#include "gui/SessionPropertySheet.h"

#include "app/TalmiraRuntime.h"
#include "base/ViewNotifier.h"
#include "directory/SessionStore.h"
#include "gui/ReceptionPage.h"
#include "gui/ViewerHold.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QScreen>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

QString SheetCaption(int sessionType)
{
    if (sessionType == kTypeScopeDirectory)
        return "Admin Scope Properties";
    if (sessionType == kTypeDirectory)
        return "Folder Properties";
    return "Session Properties";
}

std::unique_ptr<CSessionPropertySheet> CSessionPropertySheet::Create(const std::shared_ptr<CSDPObject>& record,
                                                           const CPropertyContext& context, ESheetKind kind,
                                                           QWidget* parent)
{
    if (!record)
        return nullptr;
    auto hold = std::make_unique<CViewerHold>(record);
    if (!hold->ok())
        return nullptr;
    return std::unique_ptr<CSessionPropertySheet>(new CSessionPropertySheet(record, std::move(hold), context, kind, parent));
}

CSessionPropertySheet::CSessionPropertySheet(const std::shared_ptr<CSDPObject>& record, std::unique_ptr<CViewerHold> hold,
                                   const CPropertyContext& context, ESheetKind kind, QWidget* parent)
    : QDialog(parent), m_record(record), m_hold(std::move(hold)), m_context(context)
{
    CSDPObject& r = *record;
    setWindowTitle(SheetCaption(r.sessionType));
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(true);
    m_tabs->tabBar()->setExpanding(false);

    m_info = new CSessionPage(record, m_context);
    AddPage(m_info, "Info", EPageIcon::Info);
    if (kind == ESheetKind::Directory && r.sessionType == kTypeScopeDirectory) {
        AddPage(new CSessionScopePage(r, m_context.scopes), "Admin Scope", EPageIcon::AdminScope);
    } else {
        AddPage(new COwnerPage(r, m_context), "Contact", EPageIcon::Contact);
        AddPage(new CSessionSchedulePage(r, m_context.clock), "Schedule", EPageIcon::Schedule);
        if (!r.extras->keyMethod.empty())
            AddPage(new CEncryptionPage(r), "Encryption", EPageIcon::Key);
        for (size_t i = 0; i < r.media.size(); ++i) {
            const CMediaPageLook look = MediaPageLook(r.media[i].media, r.sessionType);
            AddPage(new CMediaPage(record, static_cast<int>(i), m_context), look.title, look.icon);
        }
        if (kind == ESheetKind::Session && m_context.reception && !IsDirectoryType(r.sessionType) && !r.media.empty())
            {
            m_reception = new CReceptionPage(record, *m_context.reception, m_context.preview, &m_context.watch);
            AddPage(m_reception, "Reception", EPageIcon::Media);
        }
    }

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    m_buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSessionPropertySheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSessionPropertySheet::reject);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &CSessionPropertySheet::Apply);
    // Watch / Stop Watching, as on the row, for sessions.
    if (kind == ESheetKind::Session && !IsDirectoryType(r.sessionType) && m_context.watch.toggle
        && m_context.watch.watching) {
        m_watchButton = m_buttons->addButton("&Watch", QDialogButtonBox::ActionRole);
        m_watchButton->setAutoDefault(false);
        m_watchButton->setToolTip("Watch the session all the time and raise alarms when its streams fail; again to stop");
        const auto label = [this] {
            m_watchButton->setText(m_context.watch.watching(*m_record) ? "Stop &Watching" : "&Watch");
        };
        label();
        connect(m_watchButton, &QPushButton::clicked, this, [this, label] {
            m_context.watch.toggle(*m_record);
            label();
            if (m_reception)
                m_reception->RefreshAvailability();
        });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);
    // Every page's tab in sight, as far as the screen allows.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() : 600;
    resize(std::clamp(m_tabs->tabBar()->sizeHint().width() + 40, 600, std::max(600, widest)), 460);
    m_hold->Seat(*this);
}

CSessionPropertySheet::~CSessionPropertySheet() = default;

void CSessionPropertySheet::AddPage(QWidget* page, const QString& title, EPageIcon icon)
{
    const int index = m_tabs->addTab(page, PageIcon(icon), title);
    m_tabs->tabBar()->setTabData(index, PageIconName(icon));
}

QString CSessionPropertySheet::PageIconOf(int index) const
{
    return m_tabs->tabBar()->tabData(index).toString();
}

void CSessionPropertySheet::Apply()
{
    m_info->Apply();
}

void CSessionPropertySheet::accept()
{
    Apply();
    QDialog::accept();
}

void CSessionPropertySheet::RecordExpired(CSDPObject&)
{
    m_expired = true;
    CloseOnExpiry(*this, m_context.prompter);
}

void ShowProperties(CSessionStore& doc, const CPropertyContext& context, const std::shared_ptr<CSDPObject>& record,
                    ESheetKind kind, QWidget* parent)
{
    auto sheet = CSessionPropertySheet::Create(record, context, kind, parent);
    if (!sheet)
        return;
    sheet->exec();
    sheet.reset();
    if (kind == ESheetKind::Session)
        doc.Notify(CViewHint::ListsChanged());
}

CPropertyContext PropertyContextOf(CTalmiraRuntime& runtime, Prompter& prompter, CReceptionService* reception,
                                   CPreviewService* preview)
{
    return CPropertyContext{runtime.TheClock(), prompter, runtime.Launcher(), &runtime.Tools().registry,
                            SearchExecutable, &runtime.Settings().scopes, {}, reception, preview, {}};
}
