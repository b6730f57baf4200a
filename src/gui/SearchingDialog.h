#pragma once
#include "tools/OnlineSearch.h"

#include <QDialog>

class CQtOnlineTransport;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;

// "Searching...": the caption and progress of the running request, and
// Cancel. Requests of one search go through this dialog, so Cancel (also
// Escape or closing the window) stops the running transfer and refuses any
// request the search would still make. Whoever runs the search closes it.
class CSearchingDialog final : public QDialog, public OnlineTransport {
    Q_OBJECT
public:
    CSearchingDialog(CQtOnlineTransport& transport, QWidget* parent = nullptr);

    COnlineReply Get(const std::string& url, const COnlineLimits& limits, const BodySink& sink) override;
    bool WasCancelled() const { return m_cancelled; }

    QLabel& Caption() const { return *m_caption; }
    QProgressBar& Progress() const { return *m_progress; }
    QDialogButtonBox& Buttons() const { return *m_buttons; }

public slots:
    void reject() override;

private:
    CQtOnlineTransport& m_transport;
    QLabel* m_caption;
    QProgressBar* m_progress;
    QDialogButtonBox* m_buttons;
    bool m_cancelled = false;
};

// "Select the plugin you want to install": the offered plug-ins in the
// given order, each with a tick box, and the description of the one under
// the caret. OK returns the ticked ones.
class CPluginChooserDialog final : public QDialog {
    Q_OBJECT
public:
    CPluginChooserDialog(const std::vector<COnlinePlugin>& offered, QWidget* parent = nullptr);

    // Indexes into the offered list, in list order.
    std::vector<size_t> Ticked() const;
    QListWidget& List() const { return *m_list; }
    QPlainTextEdit& Description() const { return *m_description; }

private:
    QListWidget* m_list;
    QPlainTextEdit* m_description;
};

// The chooser as the search asks for it: a modal dialog over `parent`.
class CGuiPluginChooser final : public PluginChooser {
public:
    explicit CGuiPluginChooser(QWidget* parent) : m_parent(parent) {}
    std::optional<std::vector<size_t>> ChoosePlugins(const std::vector<COnlinePlugin>& offered) override;

private:
    QWidget* m_parent;
};
