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

std::string SearchKeyOf(const listrules::CRow& row, const CSDPObject& record)
{
    // Plain ASCII, by far the most common, is folded byte by byte as
    // DisplayText and case folding would: controls become spaces, capitals
    // small letters.
    size_t size = row.name.size() + 1 + row.info.size();
    for (const CSDPMedia& m : record.media)
        size += 2 + m.address.size() + m.connectionAddress.size();
    std::string key;
    key.reserve(size);
    unsigned char high = 0;
    const auto add = [&](std::string_view text) {
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            high |= u;
            key += u < 0x20 || u == 0x7F ? ' ' : (u >= 'A' && u <= 'Z' ? static_cast<char>(u + 32) : c);
        }
    };
    add(row.name);
    key += '\n';
    add(row.info);
    for (const CSDPMedia& m : record.media) {
        key += '\n';
        add(m.address);
        key += '\n';
        add(m.connectionAddress);
    }
    return high < 0x80 ? key : SearchKeyOf(SearchTextsOf(row, record));
}

std::string SearchKeyOf(const CSearchTexts& texts)
{
    QString joined = texts.name;
    joined += QLatin1Char('\n');
    joined += texts.info;
    for (const QString& address : texts.addresses) {
        joined += QLatin1Char('\n');
        joined += address;
    }
    return joined.toCaseFolded().toStdString();
}

CSearchNeedle SearchNeedleOf(const QString& search)
{
    return {search.toCaseFolded().toStdString(), !search.contains(QLatin1Char('\n')) && search.isValidUtf16()};
}
