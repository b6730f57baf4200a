#pragma once
#include "directory/SessionListRules.h"

#include <QString>

#include <vector>

class CSDPObject;

// The session list's search, shared by the window and the web page: a row
// stays when its name, its information or one of its media addresses (a
// medium's own address or its connection address) holds the text, ignoring
// case, as the list shows these texts. An empty text keeps every row.
struct CSearchTexts {
    QString name;
    QString info;
    std::vector<QString> addresses;
};

// The texts the search looks at; the record must be locked by the caller.
CSearchTexts SearchTextsOf(const listrules::CRow& row, const CSDPObject& record);
bool MatchesSearch(const CSearchTexts& texts, const QString& search);
