#pragma once
#include <QJsonObject>
#include <QString>

namespace preview {
struct CPreviewSnapshot;
struct CPreviewSource;
}

// A watched media entry's picture and sound as JSON objects: "video" and
// "audio" of the probe's lines and of the web server's session document; `now` in steady-clock seconds for the
// picture's age.
QJsonObject PreviewVideoJson(const preview::CPreviewSnapshot& snapshot, const preview::CPreviewSource& source, double now);
QJsonObject PreviewAudioJson(const preview::CPreviewSnapshot& snapshot, const preview::CPreviewSource& source);
// The same in a few words for people.
QString PreviewText(const preview::CPreviewSnapshot& snapshot);
