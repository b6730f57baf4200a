#include "preview/qt/PreviewJson.h"

#include "preview/PreviewTypes.h"

#include <QJsonArray>

#include <cmath>

namespace {

QJsonArray Texts(const std::vector<std::string>& list)
{
    QJsonArray out;
    for (const std::string& s : list)
        out.append(QString::fromStdString(s));
    return out;
}

// To `per` steps of one: 7.1, not 7.1000000000000005.
double Rounded(double v, double per = 100) { return std::round(v * per) / per; }

QJsonArray Levels(const std::vector<double>& list)
{
    QJsonArray out;
    for (double v : list)
        out.append(Rounded(v));
    return out;
}

// The fields a format knows, under the names the JSON uses.
QJsonObject FormatJson(const preview::CStreamFormat& f)
{
    QJsonObject o;
    if (!f.codec.empty())
        o["codec"] = QString::fromStdString(f.codec);
    if (!f.profile.empty())
        o["profile"] = QString::fromStdString(f.profile);
    if (f.width > 0)
        o["width"] = f.width;
    if (f.height > 0)
        o["height"] = f.height;
    if (f.frameRate > 0)
        o["frame_rate"] = Rounded(f.frameRate);
    if (f.interlaced >= 0)
        o["interlaced"] = f.interlaced == 1;
    if (f.channels > 0)
        o["channels"] = f.channels;
    if (f.sampleRate > 0)
        o["sample_rate"] = f.sampleRate;
    return o;
}

QJsonObject Common(const preview::CPreviewSnapshot& s, const preview::CStreamFormat& received,
                   const preview::CPreviewSource& source, const std::vector<std::string>& differences)
{
    QJsonObject o = FormatJson(received);
    o["state"] = QString::fromStdString(s.state);
    if (!s.message.empty())
        o["message"] = QString::fromStdString(s.message);
    o["announced"] = FormatJson(source.announced);
    o["differs"] = Texts(differences);
    return o;
}

} // namespace

QJsonObject PreviewVideoJson(const preview::CPreviewSnapshot& s, const preview::CPreviewSource& source, double now)
{
    QJsonObject o = Common(s, s.video.received, source, s.video.differences);
    o["pictures"] = double(s.video.pictures);
    if (s.video.jpeg)
        o["picture_age_s"] = Rounded(now - s.video.pictureTime, 10);
    if (s.video.analysed) {
        o["black"] = s.video.black;
        o["freeze"] = s.video.frozen;
        o["luma"] = Rounded(s.video.luma, 10);
    }
    return o;
}

QJsonObject PreviewAudioJson(const preview::CPreviewSnapshot& s, const preview::CPreviewSource& source)
{
    QJsonObject o = Common(s, s.audio.received, source, s.audio.differences);
    if (s.audio.windows > 0) {
        o["peak_dbfs"] = Levels(s.audio.peakDbfs);
        o["rms_dbfs"] = Levels(s.audio.rmsDbfs);
        o["momentary_lufs"] = Rounded(s.audio.momentaryLufs);
        o["short_term_lufs"] = Rounded(s.audio.shortTermLufs);
        o["true_peak_dbtp"] = Rounded(s.audio.truePeakDbtp);
        o["silence"] = s.audio.silent;
    }
    return o;
}

QString PreviewText(const preview::CPreviewSnapshot& s)
{
    QStringList parts{QString::fromStdString(s.state)};
    if (s.video.present) {
        parts << QString("%1 %2x%3").arg(QString::fromStdString(s.video.received.codec)).arg(s.video.received.width)
                     .arg(s.video.received.height);
        if (s.video.black)
            parts << "black";
        if (s.video.frozen)
            parts << "frozen";
    }
    if (s.audio.present && s.audio.windows > 0) {
        QStringList peaks;
        for (double p : s.audio.peakDbfs)
            peaks << QString::number(p, 'f', 1);
        parts << QString("%1 ch peak %2 dBFS, %3 LUFS").arg(s.audio.received.channels).arg(peaks.join('/'))
                     .arg(s.audio.shortTermLufs, 0, 'f', 1);
        if (s.audio.silent)
            parts << "silence";
    }
    if (!s.message.empty())
        parts << QString::fromStdString(s.message);
    return parts.join(", ");
}
