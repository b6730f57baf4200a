#include "views/SessionSearch.h"

#include "sdp/SDPObject.h"
#include "views/DisplayText.h"

CSearchTexts SearchTextsOf(const listrules::CRow& row, const CSDPObject& record)
{
    CSearchTexts texts{DisplayText(row.name), DisplayText(row.info), {}};
    for (const CSDPMedia& m : record.media) {
        texts.addresses.push_back(DisplayText(m.address));
        texts.addresses.push_back(DisplayText(m.connectionAddress));
    }
    return texts;
}

bool MatchesSearch(const CSearchTexts& texts, const QString& search)
{
    if (search.isEmpty())
        return true;
    const auto holds = [&](const QString& text) { return text.contains(search, Qt::CaseInsensitive); };
    if (holds(texts.name) || holds(texts.info))
        return true;
    for (const QString& address : texts.addresses)
        if (holds(address))
            return true;
    return false;
}
