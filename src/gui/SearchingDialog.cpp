#include "gui/SearchingDialog.h"

#include "gui/FieldHints.h"
#include "tools/qt/OnlineTransportQt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {
// Texts from the network may be any bytes; show what is readable.
QString FromBytes(const std::string& text)
{
    const QString utf8 = QString::fromUtf8(text);
    return utf8.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(text) : utf8;
}
} // namespace

CSearchingDialog::CSearchingDialog(CQtOnlineTransport& transport, QWidget* parent)
    : QDialog(parent), m_transport(transport), m_caption(new QLabel(this)), m_progress(new QProgressBar(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Cancel, this))
{
    setWindowTitle(QString::fromLatin1(kSearchingCaption));
    m_progress->setRange(0, kOnlineProgressSteps);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_caption->setMinimumWidth(m_caption->fontMetrics().horizontalAdvance(QStringLiteral("Closing the connection...")));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_caption);
    layout->addWidget(m_progress);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSearchingDialog::reject);
    connect(&m_transport, &CQtOnlineTransport::progress, this, [this](int value, const QString& caption) {
        m_progress->setValue(value);
        m_caption->setText(caption);
    });
}

COnlineReply CSearchingDialog::Get(const std::string& url, const COnlineLimits& limits, const BodySink& sink)
{
    if (m_cancelled) {
        COnlineReply reply;
        reply.status = EOnlineStatus::Cancelled;
        return reply;
    }
    if (!isVisible())
        show();
    return m_transport.Get(url, limits, sink);
}

// The dialog stays up until the search has seen its request end.
void CSearchingDialog::reject()
{
    m_cancelled = true;
    m_buttons->setEnabled(false);
    m_transport.Cancel();
}

CPluginChooserDialog::CPluginChooserDialog(const std::vector<COnlinePlugin>& offered, QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_description(new QPlainTextEdit(this))
{
    setWindowTitle(QString::fromLatin1(kSelectPluginCaption));
    KeepCaptionWhole(*this);
    for (const COnlinePlugin& p : offered) {
        auto* item = new QListWidgetItem(FromBytes(p.name), m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, FromBytes(p.description));
    }
    m_description->setReadOnly(true);
    m_description->setTabChangesFocus(true);
    m_description->setMaximumHeight(m_description->fontMetrics().lineSpacing() * 4 + 12);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_description);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        m_description->setPlainText(item ? item->data(Qt::UserRole).toString() : QString());
    });
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    m_list->setFocus();
}

std::vector<size_t> CPluginChooserDialog::Ticked() const
{
    std::vector<size_t> ticked;
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->checkState() == Qt::Checked)
            ticked.push_back(static_cast<size_t>(row));
    return ticked;
}

std::optional<std::vector<size_t>> CGuiPluginChooser::ChoosePlugins(const std::vector<COnlinePlugin>& offered)
{
    CPluginChooserDialog dialog(offered, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Ticked();
}
