#include "gui/SessionPages.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "directory/AdminScope.h"
#include "sdp/PayloadNames.h"
#include "sdp/SDPObject.h"
#include "sdp/Schedule.h"
#include "sdp/StudioAttributes.h"
#include "sdp/StudioRemarks.h"
#include "tools/ToolLauncher.h"
#include "views/DisplayText.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>

namespace {

QLineEdit* Field(const QString& text, const char* name)
{
    auto* field = new QLineEdit(text);
    field->setReadOnly(true);
    field->setObjectName(name);
    field->setCursorPosition(0);
    return field;
}

QPlainTextEdit* TextBox(const QString& text, const char* name)
{
    auto* box = new QPlainTextEdit(text);
    box->setReadOnly(true);
    box->setObjectName(name);
    box->setTabChangesFocus(true);
    return box;
}

QListWidget* List(const char* name)
{
    auto* list = new QListWidget;
    list->setObjectName(name);
    return list;
}

// A label that names the field after it, for screen readers and focus.
QLabel* Label(const char* text, QWidget* buddy)
{
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setBuddy(buddy);
    buddy->setAccessibleName(label->text());
    return label;
}

// Drops every entry that holds `hidden` (bytes, case-sensitive).
void FillAttributes(QListWidget& list, const std::vector<std::string>& attributes, const char* hidden)
{
    for (const std::string& a : attributes)
        if (a.find(hidden) == std::string::npos)
            list.addItem(DisplayText(a));
}

QString Dotted(uint32_t networkOrder)
{
    unsigned char b[4];
    std::memcpy(b, &networkOrder, sizeof b);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

// Only web pages: a URL from the network must not make us open local files
// or hand text to whatever program claims some other scheme.
bool IsWebPage(const std::string& url)
{
    const QUrl page = QUrl::fromUserInput(DisplayText(url));
    const QString scheme = page.scheme().toLower();
    return page.isValid() && (scheme == "http" || scheme == "https" || scheme == "ftp");
}

bool OpenWebPage(const std::string& url)
{
    return QDesktopServices::openUrl(QUrl::fromUserInput(DisplayText(url)));
}

} // namespace

CMediaPageLook MediaPageLook(const std::string& media, int sessionType)
{
    if (media == "audio")
        return {"Audio", EPageIcon::Audio};
    if (media == "video")
        return {"Video", EPageIcon::Video};
    if (media == "text")
        return {"Text", EPageIcon::Text};
    if (media == "whiteboard")
        return {"White Board", EPageIcon::Whiteboard};
    if (media == "directory")
        return sessionType == kTypeScopeDirectory ? CMediaPageLook{"Admin Scope", EPageIcon::AdminScope}
                                                  : CMediaPageLook{"Folder", EPageIcon::Folder};
    return {DisplayText(media), EPageIcon::Media};
}

QString ToolListText(const CToolLaunch& launch)
{
    QString text = QString::fromStdString(launch.plugin->toolName.empty() ? launch.plugin->tool
                                                                          : launch.plugin->toolName);
    // The executable's own path closes the arguments when it was found.
    size_t count = launch.arguments.size();
    if (!launch.path.empty() && count > 0)
        --count;
    for (size_t i = 0; i < count; ++i)
        text += ' ' + QString::fromStdString(launch.arguments[i]);
    return text;
}

// The "Clock" section of the Info page: the reference and media clock the
// first of the session's streams that names one gives, and the remarks on
// every studio stream. Null for a session without studio streams.
static QGroupBox* ClockSection(const CSDPObject& r)
{
    const CStudioAttributes* named = nullptr;
    std::vector<CStudioAttributes> read;
    for (const CSDPMedia& m : r.media)
        read.push_back(ReadStudioAttributes(r, m));
    QStringList remarks;
    bool studio = false;
    for (size_t i = 0; i < read.size(); ++i) {
        if (!IsStudioStream(r.media[i], read[i]))
            continue;
        studio = true;
        if (!named && (read[i].referenceClock || read[i].mediaClock))
            named = &read[i];
        for (const CStudioRemark& remark : StudioRemarks(r, r.media[i], read[i]))
            remarks << DisplayText(r.media[i].media) + " " + QString::number(i + 1) + ": " + DisplayText(remark.text);
    }
    if (!studio)
        return nullptr;
    auto* box = new QGroupBox("Clock");
    box->setObjectName("clock");
    auto* form = new QFormLayout(box);
    const auto add = [form](const char* label, const std::string& value, const char* name) {
        QLineEdit* field = Field(DisplayText(value), name);
        form->addRow(Label(label, field), field);
    };
    const std::optional<CReferenceClock> none;
    const auto& reference = named ? named->referenceClock : none;
    if (reference && reference->ptp) {
        const CPtpReference& p = *reference->ptp;
        add("PTP version:", p.version, "ptpVersion");
        add("Grandmaster:", p.traceable ? "traceable" : p.gmid, "grandmaster");
        add("Domain:", p.domain ? std::to_string(*p.domain) : p.domainName.empty() ? "not given" : p.domainName,
            "domain");
    } else {
        add("Reference clock:", reference ? StudioClockText(*named) : "not given", "referenceClock");
    }
    std::string offset = "not given";
    if (named && named->mediaClock) {
        const CMediaClock& c = *named->mediaClock;
        offset = c.offset ? std::to_string(*c.offset) + (c.rate.empty() ? "" : " (rate " + c.rate + ")")
                          : c.mode + (c.streamId.empty() ? "" : " " + c.streamId);
    }
    add("Media clock offset:", offset, "mediaClockOffset");
    auto* list = List("remarks");
    list->addItems(remarks.isEmpty() ? QStringList{"None"} : remarks);
    list->setWordWrap(true);
    form->addRow(Label("Remarks:", list), list);
    return box;
}

// ---- Info ----

CSessionPage::CSessionPage(const std::shared_ptr<CSDPObject>& record, const CPropertyContext& context,
                                   QWidget* parent)
    : QWidget(parent), m_record(record), m_context(context)
{
    CSDPObject& r = *record;
    auto* picture = new QLabel;
    picture->setObjectName("picture");
    picture->setPixmap(SessionPicture(r.sessionType));
    picture->setAccessibleName(SessionPictureName(r.sessionType));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* name = Field(DisplayText(r.name), "name");
    name->setPlaceholderText(kNoNameText); // greyed, for a session without one
    name->setAccessibleName("Name");
    auto* information = TextBox(DisplayText(r.information), "information");
    information->setAccessibleName("Information");
    auto* attributes = List("attributes");
    attributes->setAccessibleName("Attributes");
    FillAttributes(*attributes, r.attributes, "type:");

    auto* startAll = new QPushButton("Start All");
    startAll->setObjectName("startAll");
    m_autoStart = new QCheckBox("Auto Start");
    m_autoStart->setObjectName("autoStart");
    m_autoStartTaken = r.startTools != 0;
    m_autoStart->setChecked(m_autoStartTaken);
    if (IsDirectoryType(r.sessionType)) {
        startAll->hide();
        m_autoStart->hide();
    } else if (IsInPeriod(r.times, kPeriodNow, context.clock.Now(), context.clock)) {
        m_autoStart->hide();
    }
    connect(startAll, &QPushButton::clicked, this, &CSessionPage::OnStartAll);

    auto* fields = new QVBoxLayout;
    fields->addWidget(name);
    fields->addWidget(information, 2);
    fields->addWidget(attributes, 3);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(fields, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startAll);
    buttons->addWidget(m_autoStart);
    buttons->addStretch();
    auto* page = new QVBoxLayout(this);
    page->addLayout(top, 1);
    if (QGroupBox* clock = ClockSection(r))
        page->addWidget(clock, 1);
    page->addLayout(buttons);
}

void CSessionPage::OnStartAll()
{
    if (!m_context.launcher)
        return;
    // Choosing "Auto Start" in the question sets the record's flag itself.
    if (m_context.launcher->StartToolsFromInfoPage(*m_record)) {
        m_autoStart->setChecked(true);
        m_autoStartTaken = true;
    }
}

void CSessionPage::Apply()
{
    // Only a change the user made: the walk may have started the tools and
    // cleared the flag while the sheet was open, and writing the old state
    // back would start them a second time.
    const bool checked = m_autoStart->isChecked();
    if (checked == m_autoStartTaken)
        return;
    m_record->startTools = checked ? 1 : 0;
    m_autoStartTaken = checked;
    if (m_context.launcher && m_context.launcher->onAutoStartChanged)
        m_context.launcher->onAutoStartChanged(*m_record);
}

// ---- Contact ----

COwnerPage::COwnerPage(CSDPObject& r, const CPropertyContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_url(r.uri)
{
    std::string sender = r.originUser + "@" + r.originAddress;
    std::erase(sender, ' ');
    auto* email = Field(DisplayText(r.email), "email");
    auto* phone = Field(DisplayText(r.phone), "phone");
    auto* url = Field(DisplayText(r.uri), "url");
    auto* from = Field(DisplayText(sender), "sender");
    auto* view = new QPushButton("View Web Page");
    view->setObjectName("viewWebPage");
    // Nothing to open: the button would only say that no browser exists.
    view->setEnabled(!r.uri.empty());
    connect(view, &QPushButton::clicked, this, &COwnerPage::OnViewWebPage);

    auto* form = new QFormLayout;
    form->addRow(Label("E-mail:", email), email);
    form->addRow(Label("Phone:", phone), phone);
    form->addRow(Label("URL:", url), url);
    form->addRow(Label("Sender:", from), from);
    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(view, 0, Qt::AlignLeft);
    page->addStretch();
}

void COwnerPage::OnViewWebPage()
{
    if (!IsWebPage(m_url))
        return void(m_context.prompter.Show(kNotAWebPageText));
    const bool opened = m_context.openUrl ? m_context.openUrl(m_url) : OpenWebPage(m_url);
    if (!opened)
        m_context.prompter.Show("Unable to locate a web browser");
}

// ---- Schedule ----

CSessionSchedulePage::CSessionSchedulePage(CSDPObject& r, const Clock& clock, QWidget* parent) : QWidget(parent)
{
    const CScheduleDescription said = DescribeSchedule(r.times, clock.Now(), clock);
    std::string text = said.text;
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, "\n");
    if (r.times.empty())
        text = "No timing information available";
    auto* when = TextBox(QString::fromStdString(text), "schedule");
    auto* status = Field(VerdictText(!r.times.empty() && said.active), "status");
    auto* last = Field(QString::fromStdString(FormatLocalTime(clock, r.lastHeard, "%I:%M%p %A %B %d, %Y")),
                       "lastMessage");

    auto* page = new QVBoxLayout(this);
    page->addWidget(Label("Session will take place:", when));
    page->addWidget(when, 1);
    auto* form = new QFormLayout;
    form->addRow(Label("Session is currently:", status), status);
    form->addRow(Label("Last message:", last), last);
    page->addLayout(form);
}

// ---- Encryption ----

CEncryptionPage::CEncryptionPage(const CSDPObject& r, QWidget* parent) : QWidget(parent)
{
    auto* method = Field(DisplayText(r.extras->keyMethod), "keyMethod");
    auto* key = Field(DisplayText(r.extras->keyValue), "keyValue");
    auto* form = new QFormLayout;
    form->addRow(Label("Encryption:", method), method);
    form->addRow(Label("Key:", key), key);
    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addStretch();
}

// ---- Media ----

CMediaPage::CMediaPage(const std::shared_ptr<CSDPObject>& record, int mediaIndex,
                                 const CPropertyContext& context, QWidget* parent)
    : QWidget(parent), m_record(record), m_index(mediaIndex), m_context(context)
{
    const CSDPObject& r = *record;
    if (mediaIndex < 0 || mediaIndex >= static_cast<int>(r.media.size())) {
        context.prompter.Show("Wrong Index value");
        return;
    }
    const CSDPMedia& m = r.media[static_cast<size_t>(mediaIndex)];
    const bool directory = IsDirectoryType(r.sessionType);

    auto* address = Field(DisplayText(m.address.empty() ? r.connectionAddress : m.address), "address");
    auto* port = Field(DisplayText(m.port), "port");
    auto* scope = Field(QString::number(m.ttl), "scope");
    auto* levels = Field(QString::number(m.addressCount), "levels");
    auto* description = Field(DisplayText(m.information), "description");
    auto* keyMethod = Field(DisplayText(m.extras->keyMethod), "keyMethod");
    auto* keyValue = Field(DisplayText(m.extras->keyValue), "keyValue");
    m_tools = List("tools");
    auto* formats = List("formats");
    auto* attributes = List("attributes");
    auto* start = new QPushButton("Start");
    start->setObjectName("start");
    connect(start, &QPushButton::clicked, this, &CMediaPage::OnStart);

    std::vector<CToolLaunch> launches;
    if (!directory && context.registry)
        FindTools(r, m, *context.registry, context.locate, launches);
    // A command line is often wider than the list: the whole of it shows
    // over its entry.
    for (const CToolLaunch& l : launches) {
        m_tools->addItem(ToolListText(l));
        m_tools->item(m_tools->count() - 1)->setToolTip(ToolListText(l));
    }
    if (launches.empty())
        m_tools->addItem("No Tool available");
    if (!launches.empty() && !launches.front().formatName.empty()) {
        formats->addItem(QString::fromStdString(launches.front().formatName));
    } else if (m.protocol == "RTP/AVP" && m.payloadCount > 0) {
        for (const CPayload& p : PayloadsOf(m))
            formats->addItem(DisplayText(p.name));
    } else {
        // Also an RTP/AVP entry read from the cache, which keeps no payload names.
        const std::string first = m.formatList.substr(0, m.formatList.find(' '));
        formats->addItem(first.empty() ? QString("N/A") : DisplayText(first));
    }
    formats->setCurrentRow(0);
    FillAttributes(*attributes, m.attributes, "rtpmap");

    auto* encryption = new QHBoxLayout;
    encryption->addWidget(keyMethod);
    encryption->addWidget(keyValue, 2);
    auto* form = new QFormLayout;
    form->addRow(Label("Address:", address), address);
    form->addRow(Label("Port:", port), port);
    form->addRow(Label("Scope:", scope), scope);
    QLabel* levelsLabel = Label("Levels:", levels);
    form->addRow(levelsLabel, levels);
    form->addRow(Label("Description:", description), description);
    form->addRow(Label("Encryption:", keyMethod), encryption);
    keyValue->setAccessibleName("Key");

    auto* lists = new QHBoxLayout;
    QLabel* toolsLabel = Label("Tool(s):", m_tools);
    QLabel* formatsLabel = Label("Format:", formats);
    auto* toolColumn = new QVBoxLayout;
    toolColumn->addWidget(toolsLabel);
    toolColumn->addWidget(m_tools);
    toolColumn->addWidget(start, 0, Qt::AlignLeft);
    auto* formatColumn = new QVBoxLayout;
    formatColumn->addWidget(formatsLabel);
    formatColumn->addWidget(formats);
    // What the entry's attributes say of its format, under the names.
    const std::string studioFormat = StudioFormatText(ReadStudioAttributes(r, m));
    QLabel* studioFormatLabel = nullptr;
    if (!studioFormat.empty()) {
        studioFormatLabel = new QLabel(DisplayText(studioFormat));
        studioFormatLabel->setObjectName("studioFormat");
        studioFormatLabel->setWordWrap(true);
        studioFormatLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
        studioFormatLabel->setAccessibleName("Format");
        formatColumn->addWidget(studioFormatLabel);
    }
    auto* attributeColumn = new QVBoxLayout;
    attributeColumn->addWidget(Label("Attributes:", attributes));
    attributeColumn->addWidget(attributes);
    lists->addLayout(toolColumn, 3);
    lists->addLayout(formatColumn, 2);
    lists->addLayout(attributeColumn, 1);

    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addLayout(lists, 1);

    if (directory)
        for (QWidget* w : std::initializer_list<QWidget*>{m_tools, toolsLabel, formats, formatsLabel, levels,
                                                          levelsLabel, start})
            w->hide();
    if (directory && studioFormatLabel)
        studioFormatLabel->hide();
}

void CMediaPage::OnStart()
{
    if (!m_context.launcher)
        return;
    const int tool = m_tools->currentRow();
    m_context.launcher->StartTools(m_record, m_index, tool < 0 ? 0 : tool);
}

// ---- Admin Scope ----

CSessionScopePage::CSessionScopePage(const CSDPObject& r, const CAdminScopeList* scopes, QWidget* parent)
    : QWidget(parent)
{
    const CAdminScopeEntry* scope = scopes ? scopes->FindByDirectoryName(r.name) : nullptr;
    // Without a configured scope this is the TTL Scope, whose own
    // announcement names that address.
    auto* base = Field(scope ? Dotted(scope->baseAddress) : QString("224.2.165.3"), "baseAddress");
    auto* prefix = Field(scope ? QString::number(scope->prefixLength) : QString(), "prefixLength");
    auto* port = Field(QString::number(scope ? scope->port : 9875u), "port");
    auto* ttl = Field(scope ? QString::number(scope->ttl) : QString(), "scope");
    auto* form = new QFormLayout;
    form->addRow(Label("Base Address:", base), base);
    QLabel* prefixLabel = Label("Prefix Length:", prefix);
    form->addRow(prefixLabel, prefix);
    form->addRow(Label("Port:", port), port);
    QLabel* ttlLabel = Label("Scope:", ttl);
    form->addRow(ttlLabel, ttl);
    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addStretch();
    if (!scope)
        for (QWidget* w : {static_cast<QWidget*>(prefix), static_cast<QWidget*>(prefixLabel),
                           static_cast<QWidget*>(ttl), static_cast<QWidget*>(ttlLabel)})
            w->hide();
}
