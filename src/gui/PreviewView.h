#pragma once
#include <QImage>
#include <QWidget>

#include "preview/PreviewTypes.h"

// What a media entry carries, drawn: its newest picture (black and freeze
// marked on it, its age below), a meter per channel (RMS as the bar, peak as
// the line, in dBFS), loudness and silence, and what is received beside what
// was announced, differences named.
// Where `db` (dBFS) lies on a meter from -60 dBFS (0) to full scale (1).
double MeterFraction(double db);

class CPreviewView final : public QWidget {
    Q_OBJECT
public:
    explicit CPreviewView(QWidget* parent = nullptr);
    // `now` in steady-clock seconds, for the picture's age.
    void Show(const preview::CPreviewSnapshot& snapshot, const preview::CStreamFormat& announced, double now);
    const preview::CPreviewSnapshot& Shown() const { return m_snapshot; }
    const QImage& Picture() const { return m_picture; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList Lines() const;

    preview::CPreviewSnapshot m_snapshot;
    preview::CStreamFormat m_announced;
    QImage m_picture;
    double m_pictureTime = -1;
    double m_now = 0;
};
