#include "gui/FindToolDialog.h"

#include "base/Prompter.h"
#include "tools/qt/ToolSearchQt.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// The folder being searched: a long one is cut in its middle, so that both
// where it starts and the folder at its end show.
class CMiddleCutLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
    }
};
} // namespace

CFindToolDialog::CFindToolDialog(const QString& toolFile, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_prompter(prompter), m_toolFile(toolFile), m_search(new CToolSearchQt(this)),
      m_folderField(new QLineEdit(this)), m_change(new QPushButton(QStringLiteral("&Change..."), this)),
      m_findNow(new QPushButton(QStringLiteral("&Find Now"), this)),
      m_stop(new QPushButton(QStringLiteral("&Stop"), this)),
      m_newSearch(new QPushButton(QStringLiteral("&New Search"), this)), m_busy(new QProgressBar(this)),
      m_matches(new QListWidget(this)), m_processing(new CMiddleCutLabel(this))
{
    setWindowTitle(QStringLiteral("Find Tool ") + toolFile);
    pickFolder = [](QWidget* owner, const QString& current) {
        return QFileDialog::getExistingDirectory(owner, QStringLiteral("Pick a folder:"), current,
                                                 QFileDialog::ShowDirsOnly);
    };

    auto* startIn = new QGroupBox(QStringLiteral("start in"), this);
    m_folderField->setReadOnly(true);
    m_busy->setTextVisible(false);
    m_busy->setFixedWidth(64);
    // Shown only while the search runs (still, it would look like an empty
    // field); its room stays, so the buttons do not move.
    QSizePolicy keepRoom = m_busy->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_busy->setSizePolicy(keepRoom);
    auto* grid = new QGridLayout(startIn);
    grid->addWidget(m_folderField, 0, 0, 1, 4);
    grid->addWidget(m_change, 1, 0);
    grid->addWidget(m_findNow, 1, 1);
    grid->addWidget(m_stop, 1, 2);
    grid->addWidget(m_newSearch, 1, 3);
    grid->addWidget(m_busy, 1, 4);

    // A long folder name must not widen the dialog.
    m_processing->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* status = new QHBoxLayout;
    status->addWidget(new QLabel(QStringLiteral("Processing:"), this));
    status->addWidget(m_processing, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // Some desktops give these an "&" of their own, which would take Alt+C from "&Change...".
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(startIn);
    layout->addWidget(m_matches, 1);
    layout->addLayout(status);
    layout->addWidget(buttons);
    resize(520, 360);

    connect(m_change, &QPushButton::clicked, this, &CFindToolDialog::OnChange);
    connect(m_findNow, &QPushButton::clicked, this, &CFindToolDialog::OnFindNow);
    connect(m_stop, &QPushButton::clicked, this, &CFindToolDialog::OnStop);
    connect(m_newSearch, &QPushButton::clicked, this, &CFindToolDialog::OnNewSearch);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFindToolDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFindToolDialog::reject);
    connect(m_search, &CToolSearchQt::processing, m_processing, &QLabel::setText);
    connect(m_search, &CToolSearchQt::found, this, [this](const QString& path) { m_matches->addItem(path); });
    connect(m_search, &CToolSearchQt::finished, this, &CFindToolDialog::OnFinished);

    SetStartFolder(QString::fromLatin1(CToolSearch::kDefaultStartFolder));
    ShowIdle();
    m_newSearch->setEnabled(false);
    m_findNow->setFocus();
}

CFindToolDialog::~CFindToolDialog() { m_search->Stop(); }

void CFindToolDialog::SetStartFolder(const QString& folder)
{
    m_startFolder = folder;
    m_folderField->setText(folder);
}

bool CFindToolDialog::IsSearching() const { return !m_search->IsIdle(); }

void CFindToolDialog::ShowIdle()
{
    m_findNow->setEnabled(true);
    m_newSearch->setEnabled(true);
    m_stop->setEnabled(false);
    m_busy->hide();
}

void CFindToolDialog::OnChange()
{
    const QString folder = pickFolder ? pickFolder(this, m_startFolder) : QString();
    if (!folder.isEmpty())
        SetStartFolder(folder);
}

void CFindToolDialog::OnFindNow()
{
    m_matches->clear();
    if (!m_search->Start(m_startFolder, m_toolFile))
        return;
    m_newSearch->setEnabled(false);
    m_findNow->setEnabled(false);
    m_stop->setEnabled(true);
    m_stop->setFocus();
    m_busy->setRange(0, 0);
    m_busy->show();
}

void CFindToolDialog::OnStop()
{
    m_search->Stop();
    // Keyboard focus must not stay on the button that has just gone grey.
    if (m_stop->hasFocus())
        m_findNow->setFocus();
    ShowIdle();
}

void CFindToolDialog::OnNewSearch()
{
    m_matches->clear();
    m_processing->clear();
}

void CFindToolDialog::OnFinished()
{
    // A report of a search that was stopped and already followed by a new one.
    if (IsSearching())
        return;
    if (m_stop->hasFocus())
        m_findNow->setFocus();
    ShowIdle();
    m_processing->clear();
}

void CFindToolDialog::accept()
{
    if (IsSearching())
        OnStop();
    const QList<QListWidgetItem*> picked = m_matches->selectedItems();
    if (picked.isEmpty()) {
        m_prompter.Show("Please Select a tool path");
        return;
    }
    m_result = picked.first()->text();
    QDialog::accept();
}

void CFindToolDialog::reject()
{
    if (IsSearching())
        OnStop();
    QDialog::reject();
}
