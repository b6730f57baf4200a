#pragma once
#include "directory/qt/RecordJson.h"
#include "sap/SapCodec.h"

#include <QJsonObject>

// {"action":..., "origin":... (once the header was read), "reason":... (drop
// only), "record":{...}}
inline QJsonObject SapMessageToJson(const CSapMessage& message)
{
    QJsonObject out{{"action", SapActionName(message.action)}};
    if (!message.origin.empty())
        out.insert("origin", QString::fromStdString(message.origin));
    if (message.action == ESapAction::Drop)
        out.insert("reason", QString::fromStdString(message.reason));
    if (message.record)
        out.insert("record", RecordToJson(*message.record));
    return out;
}
