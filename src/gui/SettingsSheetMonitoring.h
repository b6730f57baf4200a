#pragma once
#include <QWidget>

#include "watch/WatchList.h"

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class SettingsStore;

// How many streams the desktop program decodes at once for pictures and
// sound ("Talmira/Preview", Decoders, 1..32; 4 when not set).
int LoadPreviewDecoders(SettingsStore& settings);
bool SavePreviewDecoders(SettingsStore& settings, int decoders);

// "Monitoring": the thresholds of the alarm rules, the webhooks and the
// decoder bound, read from the settings when made and written by Save.
class CMonitoringPage final : public QWidget {
    Q_OBJECT
public:
    explicit CMonitoringPage(SettingsStore* settings, QWidget* parent = nullptr);
    // What is wrong, with the field to correct: an address that is not
    // http or https, a loudness range upside down; empty when nothing is.
    QString Problem(QWidget** field) const;
    bool Save(SettingsStore& settings) const;

    CWatchThresholds Thresholds() const;
    CWebhookSettings Webhooks() const;
    int Decoders() const;

    QDoubleSpinBox& SilentField() const { return *m_silent; }
    QDoubleSpinBox& LossField() const { return *m_loss; }
    QSpinBox& LossWindowField() const { return *m_lossWindow; }
    QSpinBox& FlapHoldField() const { return *m_flapHold; }
    QSpinBox& IntervalsField() const { return *m_intervals; }
    QSpinBox& LoudnessLowField() const { return *m_loudnessLow; }
    QSpinBox& LoudnessHighField() const { return *m_loudnessHigh; }
    QCheckBox& BlackBox() const { return *m_black; }
    QCheckBox& FrozenBox() const { return *m_frozen; }
    QCheckBox& AudioSilentBox() const { return *m_audioSilent; }
    QPlainTextEdit& UrlsField() const { return *m_urls; }
    QLineEdit& SecretField() const { return *m_secret; }
    QSpinBox& DecodersField() const { return *m_decoders; }

private:
    QStringList Urls() const;

    QDoubleSpinBox* m_silent;
    QDoubleSpinBox* m_loss;
    QSpinBox* m_lossWindow;
    QSpinBox* m_flapHold;
    QSpinBox* m_intervals;
    QSpinBox* m_loudnessLow;
    QSpinBox* m_loudnessHigh;
    QCheckBox* m_black;
    QCheckBox* m_frozen;
    QCheckBox* m_audioSilent;
    QPlainTextEdit* m_urls;
    QLineEdit* m_secret;
    QSpinBox* m_decoders;
};
