#include "gui/ToolDialogs.h"

#include "base/Prompter.h"
#include "gui/FindToolDialog.h"
#include "gui/SearchingDialog.h"
#include "tools/qt/OnlineTransportQt.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// The messages and the plug-in chooser come once a request has ended: the
// "Searching..." dialog steps aside for them, so that it never stays behind
// a question as if still at work, and comes back with the next request.
class CAsideDuringPrompts final : public Prompter, public PluginChooser {
public:
    CAsideDuringPrompts(QWidget& searching, Prompter& prompter, PluginChooser& chooser)
        : m_searching(searching), m_prompter(prompter), m_chooser(chooser)
    {
    }
    EPromptAnswer Show(const std::string& text, EPromptButtons buttons, EPromptIcon icon,
                       const std::string& caption) override
    {
        m_searching.hide();
        return m_prompter.Show(text, buttons, icon, caption);
    }
    std::optional<std::vector<size_t>> ChoosePlugins(const std::vector<COnlinePlugin>& offered) override
    {
        m_searching.hide();
        return m_chooser.ChoosePlugins(offered);
    }

private:
    QWidget& m_searching;
    Prompter& m_prompter;
    PluginChooser& m_chooser;
};

QDialogButtonBox* OkCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// Two choices in a group, the first one taken and focused.
QGroupBox* Choices(QDialog* dialog, const QString& title, QRadioButton* first, QRadioButton* second)
{
    auto* group = new QGroupBox(title, dialog);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(first);
    layout->addWidget(second);
    first->setChecked(true);
    first->setFocus();
    return group;
}

bool OpenUrl(const QUrl& url) { return url.isValid() && QDesktopServices::openUrl(url); }
} // namespace

CAutoStartDialog::CAutoStartDialog(const QString& text, QWidget* parent)
    : QDialog(parent), m_startNow(new QRadioButton(QStringLiteral("Start Now"), this)),
      m_autoStart(new QRadioButton(QStringLiteral("Auto Start"), this))
{
    setWindowTitle(QStringLiteral("Auto Start?"));
    auto* label = new QLabel(text.trimmed(), this);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Choices(this, QStringLiteral("How do you want to start?"), m_startNow, m_autoStart));
    layout->addWidget(OkCancel(this));
}

EAutoStartChoice CAutoStartDialog::Choice() const
{
    return m_autoStart->isChecked() ? EAutoStartChoice::AutoStart : EAutoStartChoice::StartNow;
}

CWhereToSearchDialog::CWhereToSearchDialog(QWidget* parent)
    : QDialog(parent), m_fileSystem(new QRadioButton(QStringLiteral("Search the File System"), this)),
      m_online(new QRadioButton(QStringLiteral("Search the Online Tool DataBase"), this))
{
    setWindowTitle(QStringLiteral("Where do I search?"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Choices(this, QString(), m_fileSystem, m_online));
    layout->addWidget(OkCancel(this));
}

ESearchWhere CWhereToSearchDialog::Choice() const
{
    return m_online->isChecked() ? ESearchWhere::Online : ESearchWhere::FileSystem;
}

CGuiToolDialogs::CGuiToolDialogs(Prompter& prompter)
    : openBrowser([](const std::string& url) { return OpenUrl(QUrl(QString::fromStdString(url))); }),
      openFolder([](const std::string& folder) {
          return OpenUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder))));
      }),
      m_prompter(prompter), m_transport(std::make_unique<CQtOnlineTransport>())
{
}

CGuiToolDialogs::~CGuiToolDialogs() = default;

EAutoStartChoice CGuiToolDialogs::AskAutoStart(const std::string& text)
{
    CAutoStartDialog dialog(QString::fromUtf8(text), m_parent);
    return dialog.exec() == QDialog::Accepted ? dialog.Choice() : EAutoStartChoice::Cancel;
}

ESearchWhere CGuiToolDialogs::AskWhereToSearch()
{
    CWhereToSearchDialog dialog(m_parent);
    return dialog.exec() == QDialog::Accepted ? dialog.Choice() : ESearchWhere::Cancel;
}

std::optional<std::string> CGuiToolDialogs::FindToolOnDisk(const std::string& toolFile)
{
    CFindToolDialog dialog(QFile::decodeName(QByteArray::fromStdString(toolFile)), m_prompter, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return QFile::encodeName(dialog.ResultPath()).toStdString();
}

// One search, with the "Searching..." dialog up while its requests run.
template <class Run>
auto CGuiToolDialogs::WithSearchingDialog(Run&& run)
{
    CSearchingDialog dialog(*m_transport, m_parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    CGuiPluginChooser chooser(m_parent);
    CAsideDuringPrompts aside(dialog, m_prompter, chooser);
    COnlineSearch search(dialog, aside, m_online);
    return run(search, static_cast<PluginChooser&>(aside));
}

bool CGuiToolDialogs::SearchOnlinePlugin(const std::string& media, const std::string& protocol,
                                         const std::string& formats)
{
    return SearchOnlinePlugin(media, protocol, formats, nullptr);
}

bool CGuiToolDialogs::SearchOnlinePlugin(const std::string& media, const std::string& protocol,
                                         const std::string& formats, const std::vector<CToolEntry>* installed)
{
    return WithSearchingDialog([&](COnlineSearch& search, PluginChooser& chooser) {
        return search.SearchPlugins(media, protocol, formats, installed, chooser);
    });
}

bool CGuiToolDialogs::SearchOnlineTool(const std::string& toolFile)
{
    return WithSearchingDialog(
        [&](COnlineSearch& search, PluginChooser&) { return search.SearchTool(toolFile, openBrowser); });
}

std::optional<std::string> CGuiToolDialogs::CheckForUpdate()
{
    if (!IsValidDatabaseHost(m_online.host))
        return std::nullopt;
    return WithSearchingDialog(
        [&](COnlineSearch& search, PluginChooser&) { return search.OfferUpdate(openFolder); });
}
