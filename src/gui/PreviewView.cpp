#include "gui/PreviewView.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int kPictureWidth = 320;
constexpr int kMeterHeight = 96;
constexpr int kMeterWidth = 10;
constexpr double kMeterFloor = -60; // dBFS at the bottom of a meter

QString FormatText(const preview::CStreamFormat& f)
{
    QStringList parts;
    if (!f.codec.empty())
        parts << QString::fromStdString(f.codec);
    if (!f.profile.empty())
        parts << QString::fromStdString(f.profile);
    if (f.width > 0)
        parts << QString("%1x%2").arg(f.width).arg(f.height);
    if (f.frameRate > 0)
        parts << QString("%1 fps").arg(f.frameRate, 0, 'f', f.frameRate == int(f.frameRate) ? 0 : 2);
    if (f.interlaced >= 0)
        parts << (f.interlaced ? "interlaced" : "progressive");
    if (f.channels > 0)
        parts << QString("%1 ch").arg(f.channels);
    if (f.sampleRate > 0)
        parts << QString("%1 Hz").arg(f.sampleRate);
    return parts.join(' ');
}

} // namespace

double MeterFraction(double db) { return std::clamp((db - kMeterFloor) / -kMeterFloor, 0.0, 1.0); }

CPreviewView::CPreviewView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CPreviewView::Show(const preview::CPreviewSnapshot& snapshot, const preview::CStreamFormat& announced, double now)
{
    m_snapshot = snapshot;
    m_announced = announced;
    m_now = now;
    if (snapshot.video.jpeg && snapshot.video.pictureTime != m_pictureTime) {
        m_pictureTime = snapshot.video.pictureTime;
        m_picture.loadFromData(snapshot.video.jpeg->data(), int(snapshot.video.jpeg->size()), "JPEG");
    }
    updateGeometry();
    update();
}

QStringList CPreviewView::Lines() const
{
    QStringList lines;
    const preview::CPreviewSnapshot& s = m_snapshot;
    const bool video = s.video.present;
    const std::vector<std::string>& differences = video ? s.video.differences : s.audio.differences;
    const preview::CStreamFormat& received = video ? s.video.received : s.audio.received;
    if (video || s.audio.present) {
        QString line = "Received: " + FormatText(received);
        if (!differences.empty()) {
            QStringList names;
            for (const std::string& d : differences)
                names << QString::fromStdString(d);
            line += QString("  (differs from the announcement: %1)").arg(names.join(", "));
        }
        lines << line;
    }
    if (!FormatText(m_announced).isEmpty())
        lines << "Announced: " + FormatText(m_announced);
    if (s.audio.present && s.audio.windows > 0)
        lines << QString("Loudness M %1  S %2 LUFS, true peak %3 dBTP%4")
                     .arg(s.audio.momentaryLufs, 0, 'f', 1)
                     .arg(s.audio.shortTermLufs, 0, 'f', 1)
                     .arg(s.audio.truePeakDbtp, 0, 'f', 1)
                     .arg(s.audio.silent ? "  SILENCE" : "");
    if (!s.message.empty())
        lines << QString::fromStdString(s.message);
    else if (!video && !s.audio.present)
        lines << (s.state == "waiting" ? "Waiting for a decoder" : "Opening the stream");
    return lines;
}

QSize CPreviewView::sizeHint() const
{
    const int text = fontMetrics().height() * int(std::max<qsizetype>(Lines().size(), 1));
    int height = text + 4;
    if (!m_picture.isNull())
        height += m_picture.height() * kPictureWidth / std::max(m_picture.width(), 1) + 4;
    else if (m_snapshot.audio.present)
        height += kMeterHeight + fontMetrics().height() + 4;
    return {kPictureWidth + 16 * (kMeterWidth + 3), height};
}

void CPreviewView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    int y = 0;
    const preview::CPreviewSnapshot& s = m_snapshot;
    if (!m_picture.isNull()) {
        const QRect frame(0, 0, kPictureWidth, m_picture.height() * kPictureWidth / std::max(m_picture.width(), 1));
        p.drawImage(frame, m_picture);
        QStringList marks;
        if (s.video.black)
            marks << "BLACK";
        if (s.video.frozen)
            marks << "FROZEN";
        p.setPen(Qt::white);
        const QRect band(frame.left(), frame.bottom() - fontMetrics().height() - 2, frame.width(), fontMetrics().height() + 2);
        p.fillRect(band, QColor(0, 0, 0, 150));
        p.drawText(band.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignRight,
                   QString("%1 s ago").arg(std::max(0.0, m_now - s.video.pictureTime), 0, 'f', 0));
        if (!marks.isEmpty()) {
            p.setPen(QColor(255, 80, 80));
            p.drawText(band.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, marks.join(' '));
        }
        y = frame.bottom() + 4;
    }
    if (s.audio.present && !s.audio.peakDbfs.empty()) {
        // Meters beside the picture, or alone on the row.
        const int left = m_picture.isNull() ? 0 : kPictureWidth + 8;
        const int top = m_picture.isNull() ? y : 0;
        for (size_t c = 0; c < s.audio.peakDbfs.size() && c < 32; ++c) {
            const QRect bar(left + int(c) * (kMeterWidth + 3), top, kMeterWidth, kMeterHeight);
            p.fillRect(bar, palette().dark());
            const int rms = int(MeterFraction(s.audio.rmsDbfs[c]) * kMeterHeight);
            const int peak = int(MeterFraction(s.audio.peakDbfs[c]) * kMeterHeight);
            p.fillRect(QRect(bar.left(), bar.bottom() - rms + 1, kMeterWidth, rms),
                       s.audio.peakDbfs[c] > -1 ? QColor(220, 40, 40) : QColor(40, 180, 70));
            p.fillRect(QRect(bar.left(), bar.bottom() - peak, kMeterWidth, 2), QColor(250, 200, 40));
        }
        p.setPen(palette().text().color());
        p.drawText(QRect(left, top + kMeterHeight + 2, 32 * (kMeterWidth + 3), fontMetrics().height()), Qt::AlignLeft,
                   QString("%1 dBFS .. 0").arg(kMeterFloor, 0, 'f', 0));
        if (m_picture.isNull())
            y = top + kMeterHeight + fontMetrics().height() + 4;
    }
    p.setPen(palette().text().color());
    for (const QString& line : Lines()) {
        const bool alarm = line.contains("SILENCE") || line.contains("differs") || line == QString::fromStdString(s.message);
        p.setPen(alarm ? QColor(200, 60, 30) : palette().text().color());
        p.drawText(QRect(0, y, width(), fontMetrics().height()), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += fontMetrics().height();
    }
}
