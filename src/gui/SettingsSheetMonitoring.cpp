#include "gui/SettingsSheetMonitoring.h"

#include "base/SettingsStore.h"
#include "gui/SettingsSheetDialogs.h"
#include "preview/PreviewPool.h"
#include "watch/Webhooks.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

using settingsform::AddRow;
constexpr const char* kPreviewKey = "Talmira/Preview";
constexpr int kMaxWebhooks = 64; // as many as the settings keep

QSpinBox* Whole(int min, int max, int value, const char* suffix)
{
    auto* box = new QSpinBox;
    box->setRange(min, max);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

QDoubleSpinBox* Decimal(double min, double max, int decimals, double value, const char* suffix)
{
    auto* box = new QDoubleSpinBox;
    box->setDecimals(decimals);
    box->setRange(min, max);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}
} // namespace

int LoadPreviewDecoders(SettingsStore& settings)
{
    const auto value = settings.ReadNumber(kPreviewKey, "Decoders");
    return value && *value >= 1 && *value <= uint32_t(preview::kMaxDecoders) ? int(*value) : preview::kDefaultDecoders;
}

bool SavePreviewDecoders(SettingsStore& settings, int decoders)
{
    return settings.CreateKey(kPreviewKey) && settings.WriteNumber(kPreviewKey, "Decoders", uint32_t(decoders));
}

CMonitoringPage::CMonitoringPage(SettingsStore* settings, QWidget* parent) : QWidget(parent)
{
    const CWatchThresholds t = settings ? LoadThresholds(*settings) : CWatchThresholds{};
    const CWebhookSettings hooks = settings ? LoadWebhooks(*settings) : CWebhookSettings{};
    m_silent = Decimal(0.1, 3600, 1, double(t.silentMs) / 1000, " s");
    m_loss = Decimal(0, 100, 4, t.lossRatio * 100, " %");
    m_loss->setSingleStep(0.01);
    m_lossWindow = Whole(1, 3600, int(t.lossWindowMs / 1000), " s");
    m_flapHold = Whole(0, 86400, int(t.flapHoldMs / 1000), " s");
    m_intervals = Whole(1, 100, t.announcementIntervals, " announcement intervals");
    m_loudnessLow = Whole(-100, 0, int(std::lround(t.loudnessMin)), " LUFS");
    m_loudnessHigh = Whole(-100, 0, int(std::lround(t.loudnessMax)), " LUFS");
    m_black = new QCheckBox("Picture &black");
    m_black->setChecked(t.black);
    m_frozen = new QCheckBox("Picture fro&zen");
    m_frozen->setChecked(t.frozen);
    m_audioSilent = new QCheckBox("Au&dio silent");
    m_audioSilent->setChecked(t.audioSilent);
    m_urls = new QPlainTextEdit;
    m_urls->setTabChangesFocus(true);
    m_urls->setPlaceholderText("http://HOST[:PORT]/PATH or https://..., one a line");
    m_urls->setPlainText(QString::fromStdString([&] {
        std::string text;
        for (const std::string& url : hooks.urls)
            text += url + '\n';
        return text;
    }()));
    m_urls->setFixedHeight(m_urls->fontMetrics().lineSpacing() * 4 + 12);
    m_secret = new QLineEdit(QString::fromStdString(hooks.secret));
    m_secret->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    m_secret->setPlaceholderText("none: not signed");
    m_decoders = Whole(1, preview::kMaxDecoders, settings ? LoadPreviewDecoders(*settings) : preview::kDefaultDecoders, "");

    auto* streams = new QGroupBox("Alarms");
    auto* form = new QFormLayout(streams);
    AddRow(*form, "Stream &silent after:", m_silent);
    auto* loss = new QHBoxLayout;
    loss->addWidget(m_loss);
    auto* over = new QLabel("o&ver");
    over->setBuddy(m_lossWindow);
    loss->addWidget(over);
    loss->addWidget(m_lossWindow);
    loss->addStretch();
    auto* lossLabel = new QLabel("&Loss above:");
    lossLabel->setBuddy(m_loss);
    form->addRow(lossLabel, loss);
    AddRow(*form, "A&nnouncements stopped after:", m_intervals);
    AddRow(*form, "Fla&pping alarms raised once in:", m_flapHold);

    auto* decoded = new QGroupBox("Decoded pictures and sound");
    auto* rules = new QFormLayout(decoded);
    auto* checks = new QHBoxLayout;
    for (QCheckBox* box : {m_black, m_frozen, m_audioSilent})
        checks->addWidget(box);
    checks->addStretch();
    rules->addRow(checks);
    auto* range = new QHBoxLayout;
    range->addWidget(m_loudnessLow);
    auto* to = new QLabel("&to");
    to->setBuddy(m_loudnessHigh);
    range->addWidget(to);
    range->addWidget(m_loudnessHigh);
    range->addStretch();
    auto* rangeLabel = new QLabel("Lo&udness within:");
    rangeLabel->setBuddy(m_loudnessLow);
    rules->addRow(rangeLabel, range);
    AddRow(*rules, "Decoders at &most:", m_decoders);

    auto* webhooks = new QGroupBox("Webhooks: each raise and clear posted as JSON");
    auto* hooksForm = new QFormLayout(webhooks);
    AddRow(*hooksForm, "&Addresses:", m_urls);
    AddRow(*hooksForm, "Signing s&ecret:", m_secret);

    auto* layout = new QVBoxLayout(this);
    for (QGroupBox* group : {streams, decoded, webhooks})
        layout->addWidget(group);
    layout->addStretch();
}

QStringList CMonitoringPage::Urls() const
{
    QStringList urls;
    for (const QString& line : m_urls->toPlainText().split('\n'))
        if (!line.trimmed().isEmpty())
            urls << line.trimmed();
    return urls;
}

QString CMonitoringPage::Problem(QWidget** field) const
{
    *field = m_urls;
    const QStringList urls = Urls();
    for (const QString& url : urls)
        if (const std::string problem = WebhookUrlProblem(url.toStdString()); !problem.empty())
            return QString("The webhook address %1 cannot be used: %2.").arg(url, QString::fromStdString(problem));
    if (urls.size() > kMaxWebhooks)
        return QString("At most %1 webhook addresses can be kept.").arg(kMaxWebhooks);
    *field = m_loudnessLow;
    if (m_loudnessLow->value() > m_loudnessHigh->value())
        return QString("The loudness range is upside down: %1 LUFS is above %2 LUFS.")
            .arg(m_loudnessLow->value())
            .arg(m_loudnessHigh->value());
    return {};
}

CWatchThresholds CMonitoringPage::Thresholds() const
{
    CWatchThresholds t;
    t.silentMs = std::llround(m_silent->value() * 1000);
    t.lossRatio = m_loss->value() / 100;
    t.lossWindowMs = int64_t(m_lossWindow->value()) * 1000;
    t.flapHoldMs = int64_t(m_flapHold->value()) * 1000;
    t.announcementIntervals = m_intervals->value();
    t.loudnessMin = m_loudnessLow->value();
    t.loudnessMax = m_loudnessHigh->value();
    t.black = m_black->isChecked();
    t.frozen = m_frozen->isChecked();
    t.audioSilent = m_audioSilent->isChecked();
    return t;
}

CWebhookSettings CMonitoringPage::Webhooks() const
{
    CWebhookSettings hooks;
    for (const QString& url : Urls())
        hooks.urls.push_back(url.toStdString());
    hooks.secret = m_secret->text().toStdString();
    return hooks;
}

int CMonitoringPage::Decoders() const { return m_decoders->value(); }

bool CMonitoringPage::Save(SettingsStore& settings) const
{
    const bool thresholds = SaveThresholds(settings, Thresholds());
    const bool hooks = SaveWebhooks(settings, Webhooks());
    return SavePreviewDecoders(settings, Decoders()) && thresholds && hooks;
}
