#include "gui/MediaPagesAddress.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/Random.h"
#include "base/Text.h"
#include "directory/AdminScope.h"
#include "sdp/UsedAddresses.h"
#include "tools/MediaRules.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <arpa/inet.h>

namespace {

constexpr const char* kTtlScopeName = "TTL Scope";
constexpr const char* kEmptyAddressText = "Please enter the multicast address to be used.";
constexpr const char* kNotAnAddressText = "The address you entered doesn't look like an IP address";
constexpr const char* kNotMulticastText = "Please enter a Multicast IP address";

// What is wrong with a typed group address (IPv4 or IPv6 multicast), if anything.
const char* GroupAddressProblem(const std::string& typed)
{
    if (const auto six = text::ParseIpv6(typed))
        return (*six)[0] == 0xFF ? nullptr : kNotMulticastText;
    in_addr parsed{};
    if (inet_pton(AF_INET, typed.c_str(), &parsed) != 1)
        return kNotAnAddressText;
    return (ntohl(parsed.s_addr) >> 28) == 0xE ? nullptr : kNotMulticastText;
}

// The arrows run from 1 to 100, while a typed number outside stays as typed
// so that leaving the page can refuse it with the range message.
class CLevelsBox final : public QSpinBox {
public:
    explicit CLevelsBox(QWidget* parent) : QSpinBox(parent) { setRange(0, 999); }
    void stepBy(int steps) override { setValue(qBound(1, value() + steps, CMediaWizardAddressPage::kMaxLevels)); }

protected:
    StepEnabled stepEnabled() const override
    {
        StepEnabled on = StepNone;
        if (value() < CMediaWizardAddressPage::kMaxLevels)
            on |= StepUpEnabled;
        if (value() > 1)
            on |= StepDownEnabled;
        return on;
    }
};

std::shared_ptr<CSDPObject> Parent(const CSDPObject& record)
{
    return record.parentDirectory.lock();
}

} // namespace

std::shared_ptr<CSDPObject> NearestScopeDirectory(std::shared_ptr<CSDPObject> from)
{
    // Bounded like the store's own depth, should a parent chain ever loop.
    for (int depth = 0; from && depth < 1000; from = Parent(*from), ++depth)
        if (from->sessionType == kTypeScopeDirectory)
            return from;
    return nullptr;
}

bool UnderTtlScope(std::shared_ptr<CSDPObject> from)
{
    for (int depth = 0; from && depth < 1000; from = Parent(*from), ++depth)
        if (from->sessionType == kTypeScopeDirectory && from->name == kTtlScopeName)
            return true;
    return false;
}

const CAdminScopeEntry* ScopeOfSession(const CSDPObject& session, const CAdminScopeList* scopes)
{
    const auto directory = NearestScopeDirectory(Parent(session));
    return directory && scopes ? scopes->FindByDirectoryName(directory->name) : nullptr;
}

std::optional<std::string> ProposeAddress(const CSDPObject& session, const CMediaContext& context)
{
    // In an IPv6 SAP scope: a transient group of that scope.
    if (const auto directory = NearestScopeDirectory(Parent(session))) {
        if (const CIpv6SapScope* six = Ipv6SapScopeOf(*directory)) {
            const auto group = context.used->PickFreeIpv6Address(six->scope, *context.random, context.clock->Now());
            return group ? std::optional(text::Ipv6Text(*group)) : std::nullopt;
        }
    }
    std::optional<uint32_t> base;
    int prefix = 0;
    if (const CAdminScopeEntry* scope = ScopeOfSession(session, context.scopes)) {
        base = scope->baseAddress;
        prefix = static_cast<int>(scope->prefixLength);
    }
    const auto address = context.used->PickFreeAddress(base, prefix, *context.random, context.clock->Now());
    if (!address)
        return std::nullopt;
    return text::DottedQuad(*address);
}

std::string RangeText(long long low, long long high)
{
    return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

CMediaWizardAddressPage::CMediaWizardAddressPage(CSDPMedia& entry, CSDPObject& session, const CMediaContext& context,
                                           bool directoryMode, QWidget* parent)
    : QWizardPage(parent), m_entry(entry), m_session(session), m_context(context), m_directoryMode(directoryMode)
{
    setTitle("Address and port to be used");
    setFinalPage(directoryMode);
    auto* box = new QGroupBox("Address and Port", this);
    m_address = new QLineEdit(box);
    m_address->setMaxLength(255);
    m_port = new QLineEdit(box);
    m_port->setMaxLength(5);
    m_levels = new CLevelsBox(box);
    auto* form = new QFormLayout(box);
    auto add = [&](const QString& text, QWidget* field) {
        auto* label = new QLabel(text, box);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    add("&Address:", m_address);
    add("&Port:", m_port);
    add("&Levels:", m_levels);
    auto* intro = new QLabel("The computer generated the folowing address and port number. You only have to change "
                             "this if you want to use a predefined address and port number.",
                             this);
    intro->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(box);
    layout->addStretch();
}

int CMediaWizardAddressPage::nextId() const
{
    return m_directoryMode ? -1 : kPageOverview;
}

void CMediaWizardAddressPage::initializePage()
{
    m_levels->setValue(m_entry.addressCount == 0 ? 1 : m_entry.addressCount);
    if (!m_entry.address.empty()) {
        m_address->setText(QString::fromStdString(text::AsUtf8(m_entry.address)));
        m_port->setText(QString::number(text::ToInt64(m_entry.port)));
    } else {
        m_port->setText(QString::number(mediarules::ProposePort(m_entry.media, m_context.random->Next())));
        const auto address = ProposeAddress(m_session, m_context);
        m_address->setText(address ? QString::fromStdString(*address) : QString());
        if (!address)
            m_context.prompter->Show(kNoFreeAddressText, EPromptButtons::Ok, EPromptIcon::Warning);
    }
    m_address->setFocus();
    m_address->selectAll();
}

bool CMediaWizardAddressPage::Read(int& port, int& levels, bool tell) const
{
    auto refuse = [&](QLineEdit* field, const std::string& message) {
        if (tell) {
            m_context.prompter->Show(message, EPromptButtons::Ok, EPromptIcon::Warning);
            field->setFocus();
            field->selectAll();
        }
        return false;
    };
    bool ok = false;
    const uint value = m_port->text().trimmed().toUInt(&ok);
    if (!ok || value > 65535)
        return refuse(m_port, RangeText(0, 65535));
    port = static_cast<int>(value);
    levels = m_levels->value();
    if (levels < 1 || levels > kMaxLevels)
        return refuse(m_levels->findChild<QLineEdit*>(), RangeText(1, kMaxLevels));
    if (m_address->text().trimmed().isEmpty())
        return refuse(m_address, kEmptyAddressText);
    // The address is the group the receivers join (a folder's too).
    if (const char* problem = GroupAddressProblem(m_address->text().toStdString()))
        return refuse(m_address, problem);
    return true;
}

void CMediaWizardAddressPage::Store(int port, int levels)
{
    m_entry.port = std::to_string(port);
    m_entry.address = m_address->text().toStdString();
    m_entry.addressCount = levels;
    m_entry.ttl = m_session.announceTtl;
    // An IPv6 group gets a connection line of its own type; one typed over
    // it again goes back to the IPv4 default.
    if (text::ParseIpv6(m_entry.address)) {
        m_entry.extras.Edit().connectionAddressType = "IP6";
        m_entry.connectionAddress = m_entry.address;
    } else if (CSDPMediaExtras* extras = m_entry.extras.IfSet(); extras && extras->connectionAddressType == "IP6") {
        extras->connectionAddressType = "IP4";
        m_entry.connectionAddress = CShortText();
    }
}

bool CMediaWizardAddressPage::validatePage()
{
    int port = 0;
    int levels = 0;
    if (!Read(port, levels, true))
        return false;
    Store(port, levels);
    return true;
}

void CMediaWizardAddressPage::cleanupPage()
{
    int port = 0;
    int levels = 0;
    if (Read(port, levels, false))
        Store(port, levels);
}
