#pragma once
#include "directory/SessionListRules.h"

#include <QString>

#include <cstring>
#include <string>
#include <string_view>
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

// The same search over many rows, without making QStrings per row: the
// texts case folded and joined, one per line, as UTF-8 (made once per
// row), and the search folded alike (made once per search). A search holds
// in the key exactly when it holds in one of the texts; one with a line
// break could span two texts (and a broken UTF-16 text folds apart): their
// needle is not usable.
std::string SearchKeyOf(const CSearchTexts& texts);
// The same key straight from a row and its record (locked by the caller).
std::string SearchKeyOf(const listrules::CRow& row, const CSDPObject& record);
struct CSearchNeedle {
    std::string folded;
    bool usable = false;
};
CSearchNeedle SearchNeedleOf(const QString& search);
// In time linear in the key and the needle, whatever they hold (a plain
// search costs a long needle of repeats their product).
inline bool HoldsNeedle(std::string_view key, const CSearchNeedle& needle)
{
    return memmem(key.data(), key.size(), needle.folded.data(), needle.folded.size()) != nullptr;
}
