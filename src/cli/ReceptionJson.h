#pragma once
#include <QJsonObject>
#include <QString>

struct CMediaFigures;
struct CSessionFigures;

// One media entry's figures as a JSON object; a redundant pair's merged
// loss goes with each of its legs.
QJsonObject MediaFiguresToJson(const CSessionFigures& session, const CMediaFigures& media);
// The same in one line of text for people.
QString MediaFiguresToText(const CSessionFigures& session, const CMediaFigures& media);
