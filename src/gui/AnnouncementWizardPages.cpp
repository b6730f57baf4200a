#include "gui/AnnouncementWizardPages.h"

#include "base/Prompter.h"
#include "sdp/SDPObject.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

QString FieldText(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

std::string OneLineBytes(const QString& text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar& c : line)
        if (c == '\n' || c == '\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = ' ';
    return line.toStdString();
}

namespace {
QLabel* Intro(const char* text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}
} // namespace

// ---- Session Information ----

CAnnouncementWizardSessionPage::CAnnouncementWizardSessionPage(CSDPObject& record, Prompter& prompter,
                                         std::function<bool(const QString&)> openUrl, QWidget* parent)
    : QWizardPage(parent), m_record(record), m_prompter(prompter), m_openUrl(std::move(openUrl)),
      m_title(new QLineEdit), m_description(new QPlainTextEdit), m_url(new QLineEdit), m_testUrl(new QPushButton("Test URL"))
{
    setTitle("Session Information");
    // Tab leaves the description; a description is one line of SDP anyway.
    m_description->setTabChangesFocus(true);
    auto* form = new QFormLayout;
    form->addRow("Title:", m_title);
    form->addRow("Description:", m_description);
    auto* urlLine = new QHBoxLayout;
    urlLine->addWidget(m_url);
    urlLine->addWidget(m_testUrl);
    form->addRow("URL:", urlLine);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Intro("Enter here the title of the session you want to announce, and a brief description of the "
                          "content of the announced session. Both fields are required!"));
    page->addLayout(form);
    m_testUrl->setAutoDefault(false);
    connect(m_testUrl, &QPushButton::clicked, this, [this] {
        if (!m_openUrl || !m_openUrl(m_url->text()))
            m_prompter.Show("Unable to locate a web browser");
    });
}

void CAnnouncementWizardSessionPage::initializePage()
{
    m_title->setText(FieldText(m_record.name));
    m_description->setPlainText(FieldText(m_record.information));
    m_url->setText(FieldText(m_record.uri));
}

bool CAnnouncementWizardSessionPage::validatePage()
{
    if (m_title->text().isEmpty() || m_description->toPlainText().isEmpty()) {
        m_prompter.Show("Title and description are mandatory fields!");
        return false;
    }
    m_record.name = OneLineBytes(m_title->text());
    m_record.information = OneLineBytes(m_description->toPlainText());
    m_record.uri = OneLineBytes(m_url->text());
    return true;
}

// ---- Contact Information ----

CAnnouncementWizardContactPage::CAnnouncementWizardContactPage(CSDPObject& record, QWidget* parent)
    : QWizardPage(parent), m_record(record), m_name(new QLineEdit), m_email(new QLineEdit), m_phone(new QLineEdit)
{
    setTitle("Contact Information");
    m_name->setReadOnly(true);
    auto* form = new QFormLayout;
    form->addRow("Name:", m_name);
    form->addRow("E-mail:", m_email);
    form->addRow("Phone:", m_phone);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Intro("Please provide us with some contact information. This will be used when there is "
                          "something going wrong with your announcement or with the session it self."));
    page->addLayout(form);
    page->addStretch();
}

void CAnnouncementWizardContactPage::initializePage()
{
    m_name->setText(m_record.originUser == "-" ? QString("Unknown") : FieldText(m_record.originUser));
    m_email->setText(FieldText(m_record.email));
    m_phone->setText(FieldText(m_record.phone));
}

bool CAnnouncementWizardContactPage::validatePage()
{
    m_record.email = OneLineBytes(m_email->text());
    m_record.phone = OneLineBytes(m_phone->text());
    return true;
}

// ---- Scope ----

namespace {
constexpr int kScopeMode = 1120;
constexpr int kChoiceTtl[] = {15, 63, 127};
constexpr int kMinOtherTtl = 1, kMaxOtherTtl = 254;
} // namespace

CAnnouncementWizardScopePage::CAnnouncementWizardScopePage(CSDPObject& record, Prompter& prompter, QWidget* parent)
    : QWizardPage(parent), m_record(record), m_prompter(prompter), m_group(new QButtonGroup(this)),
      m_other(new QLineEdit)
{
    setTitle("Scope");
    const char* const texts[] = {"Site ", "Region", "World", "Other"};
    auto* grid = new QGridLayout;
    for (int c = kSite; c <= kOther; ++c) {
        m_choices[c] = new QRadioButton(texts[c]);
        m_group->addButton(m_choices[c], c);
        grid->addWidget(m_choices[c], c, 0);
    }
    m_other->setMaxLength(5);
    m_other->setInputMethodHints(Qt::ImhDigitsOnly);
    grid->addWidget(m_other, kOther, 1);
    grid->setColumnStretch(2, 1);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Intro("Indicate here how far you want your session to be viewed."));
    page->addLayout(grid);
    page->addStretch();
    connect(m_group, &QButtonGroup::idClicked, this, &CAnnouncementWizardScopePage::OnChoice);
}

void CAnnouncementWizardScopePage::OnChoice(int choice)
{
    m_other->setText(QString::number(choice == kOther ? 128 : kChoiceTtl[choice]));
    m_other->setEnabled(choice == kOther);
}

void CAnnouncementWizardScopePage::initializePage()
{
    int mode = m_record.scopeMode;
    int ttl = m_record.announceTtl;
    if (mode == 0) {
        mode = kScopeMode;
        ttl = 15;
    }
    if (ttl < 0 || ttl > 255)
        ttl = kMaxOtherTtl;
    const int* known = std::find(std::begin(kChoiceTtl), std::end(kChoiceTtl), ttl);
    const bool isKnown = known != std::end(kChoiceTtl);
    m_other->setText(QString::number(ttl));
    m_other->setEnabled(!isKnown);
    if (mode == kScopeMode)
        m_choices[isKnown ? known - std::begin(kChoiceTtl) : static_cast<int>(kOther)]->setChecked(true);
}

bool CAnnouncementWizardScopePage::validatePage()
{
    const int choice = m_group->checkedId();
    int ttl = 0;
    if (choice >= kSite && choice < kOther)
        ttl = kChoiceTtl[choice];
    if (choice == kOther || choice < 0) {
        bool ok = false;
        ttl = m_other->text().trimmed().toInt(&ok);
        if (!ok || ttl < kMinOtherTtl || ttl > kMaxOtherTtl) {
            m_prompter.Show("Please enter an integer between " + std::to_string(kMinOtherTtl) + " and " +
                            std::to_string(kMaxOtherTtl) + ".");
            m_other->setFocus();
            m_other->selectAll();
            return false;
        }
    }
    m_record.scopeMode = kScopeMode;
    m_record.announceTtl = ttl;
    return true;
}

// ---- Type of Session ----

CAnnouncementWizardTypePage::CAnnouncementWizardTypePage(CSDPObject& record, QWidget* parent)
    : QWizardPage(parent), m_record(record), m_type(new QComboBox), m_list(new QTreeWidget), m_name(new QLineEdit),
      m_value(new QLineEdit), m_add(new QPushButton("Add")), m_delete(new QPushButton("Delete"))
{
    setTitle("Type of Session");
    // Shown sorted as a sorted drop-down list would: without regard to case.
    const std::pair<const char*, int> types[] = {
        {"broadcast", kTypeBroadcast}, {"H332", kTypeH332}, {"meeting", kTypeMeeting},
        {"test", kTypeTest},           {"unknown", kTypeUnknown}};
    for (const auto& [text, type] : types)
        m_type->addItem(text, type);
    auto* typeBox = new QGroupBox("Type Of Session");
    (new QVBoxLayout(typeBox))->addWidget(m_type);

    m_list->setColumnCount(2);
    m_list->setHeaderLabels({"Name", "Value"});
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    auto* form = new QFormLayout;
    form->addRow("Name:", m_name);
    form->addRow("Value:", m_value);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_add);
    buttons->addWidget(m_delete);
    auto* attributeBox = new QGroupBox("Additional Attributes");
    auto* attributes = new QVBoxLayout(attributeBox);
    attributes->addWidget(m_list);
    attributes->addLayout(form);
    attributes->addLayout(buttons);

    auto* page = new QVBoxLayout(this);
    page->addWidget(Intro("Indicate the type of session and optionally enter some additional session attributes."));
    page->addWidget(typeBox);
    page->addWidget(attributeBox);
    connect(m_add, &QPushButton::clicked, this, &CAnnouncementWizardTypePage::OnAdd);
    connect(m_delete, &QPushButton::clicked, this, &CAnnouncementWizardTypePage::OnDelete);
}

void CAnnouncementWizardTypePage::initializePage()
{
    const int at = m_type->findData(m_record.sessionType);
    if (at >= 0)
        m_type->setCurrentIndex(at);
    ShowAttributes();
}

bool CAnnouncementWizardTypePage::validatePage()
{
    if (m_type->currentIndex() >= 0)
        m_record.sessionType = m_type->currentData().toInt();
    return true;
}

void CAnnouncementWizardTypePage::OnAdd()
{
    const std::string name = OneLineBytes(m_name->text());
    if (name.empty())
        return;
    // Without a value the attribute is a property: its bare name.
    const std::string value = OneLineBytes(m_value->text());
    const std::string attribute = value.empty() ? name : name + ": " + value;
    auto& list = m_record.attributes;
    if (auto same = std::find(list.begin(), list.end(), name); same != list.end())
        *same = attribute;
    else
        list.push_back(attribute);
    ShowAttributes();
}

void CAnnouncementWizardTypePage::OnDelete()
{
    const int row = m_list->currentIndex().isValid() ? m_list->currentIndex().row() : -1;
    if (row < 0 || row >= static_cast<int>(m_record.attributes.size()))
        return;
    m_record.attributes.erase(m_record.attributes.begin() + row);
    ShowAttributes();
}

void CAnnouncementWizardTypePage::ShowAttributes()
{
    m_list->clear();
    for (const CShortText& attribute : m_record.attributes) {
        const QStringList pieces = FieldText(attribute).split(':');
        m_list->addTopLevelItem(new QTreeWidgetItem({pieces.value(0), pieces.value(1)}));
    }
}
