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
