#pragma once
#include <QJsonObject>
#include <QString>

#include <string_view>

class CSDPObject;
struct CSDPMedia;

// A byte text as a JSON string: UTF-8 when it is valid UTF-8, otherwise
// every byte as the Latin-1 character.
QString TextToJson(std::string_view bytes);

QJsonObject RecordToJson(const CSDPObject& record);
// The group a directory listens on: its IPv6 group, else the dotted quad.
QString DirectoryGroupText(const CSDPObject& directory);
QJsonObject MediaToJson(const CSDPMedia& media);
// What a media entry says of its clock and format, and the remarks on it,
// as "clock", "format" and "remarks" (the record's JSON carries them per
// entry and for the session: its own lines and every entry's remarks).
void AddStudioJson(QJsonObject& out, const CSDPObject& record, const CSDPMedia& media);
void AddSessionStudioJson(QJsonObject& out, const CSDPObject& record);
