#include "web/WebSnapshot.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>

const std::vector<uint32_t>& CWebDirectory::Order(int sortMode) const
{
    std::lock_guard lock(m_orders->lock);
    auto [it, made] = m_orders->bySort.try_emplace(sortMode);
    if (made) {
        std::vector<uint32_t>& order = it->second;
        order.resize(sessions.size());
        std::iota(order.begin(), order.end(), 0u);
        listrules::SortPositions(order, sortMode, [this](uint32_t i) -> const listrules::CRow& { return sessions[i]->row; });
    }
    return it->second;
}

const CWebDirectory::CSearchIndex& CWebDirectory::Search() const
{
    std::lock_guard lock(m_orders->lock);
    if (!m_orders->search) {
        auto index = std::make_unique<CSearchIndex>();
        size_t size = 0;
        for (const auto& s : sessions)
            size += s->searchKey.size() + 1;
        index->keys.reserve(size);
        index->ends.reserve(sessions.size());
        for (const auto& s : sessions) {
            index->keys += s->searchKey;
            index->keys += '\n';
            index->ends.push_back(static_cast<uint32_t>(index->keys.size()));
        }
        m_orders->search = std::move(index);
    }
    return *m_orders->search;
}

void CWebDirectory::KeepOrdersOf(const CWebDirectory& before)
{
    if (before.sessions == sessions)
        m_orders = before.m_orders;
}

namespace {
// How rare a byte is in the texts rows show (names, informations and
// addresses), from the most common up.
int Rarity(unsigned char c)
{
    static constexpr std::string_view kCommon = " etaoinshrdlcumwfgypbvkjxqz";
    if (c >= '0' && c <= '9')
        return 8;
    if (c == '.' || c == ':')
        return 6;
    const size_t at = kCommon.find(static_cast<char>(c));
    return at == std::string_view::npos ? 40 : static_cast<int>(at);
}

// Finds a needle in the keys laid end to end: memchr runs to its rarest
// byte and the needle is checked around it, which skips most of the keys at
// memory speed. Texts where that byte is common would make the checks cost
// the keys' length times the needle's: past a bound the rest is left to
// memmem, whose time is linear whatever the texts.
class CNeedleFinder {
public:
    CNeedleFinder(std::string_view keys, std::string_view needle) : m_keys(keys), m_needle(needle)
    {
        const auto rarity = [&](size_t i) { return Rarity(static_cast<unsigned char>(needle[i])); };
        for (size_t i = 1; i < needle.size(); ++i)
            if (rarity(i) > rarity(m_anchor))
                m_anchor = i;
        // A second byte to turn most candidates away before comparing all.
        m_second = m_anchor == 0 && needle.size() > 1 ? 1 : 0;
        for (size_t i = 0; i < needle.size(); ++i)
            if (i != m_anchor && rarity(i) > rarity(m_second))
                m_second = i;
    }
    // The first place at or after `from` where the needle starts; npos for none.
    size_t Next(size_t from)
    {
        const size_t n = m_keys.size(), m = m_needle.size();
        while (m_checked < n / 4 + 4096) {
            if (from + m > n)
                return std::string_view::npos;
            const void* hit = memchr(m_keys.data() + from + m_anchor, m_needle[m_anchor], n - m + 1 - from);
            if (!hit)
                return std::string_view::npos;
            const size_t start = static_cast<size_t>(static_cast<const char*>(hit) - m_keys.data()) - m_anchor;
            from = start + 1;
            if (m_keys[start + m_second] != m_needle[m_second]) {
                m_checked += 2;
                continue;
            }
            m_checked += m;
            if (std::memcmp(m_keys.data() + start, m_needle.data(), m) == 0)
                return start;
        }
        if (from >= n)
            return std::string_view::npos;
        const void* hit = memmem(m_keys.data() + from, n - from, m_needle.data(), m);
        return hit ? static_cast<size_t>(static_cast<const char*>(hit) - m_keys.data()) : std::string_view::npos;
    }

private:
    std::string_view m_keys, m_needle;
    size_t m_anchor = 0;
    size_t m_second = 0;
    size_t m_checked = 0;
};
} // namespace

const CWebDirectory* CWebSnapshot::Directory(const std::string& id) const
{
    const auto it = directoryById.find(id);
    return it == directoryById.end() ? nullptr : it->second;
}

WebSessionPtr CWebSnapshot::Session(const std::string& id) const
{
    const auto it = sessionById.find(id);
    return it == sessionById.end() ? nullptr : it->second;
}

CWebSnapshot::CPage CWebSnapshot::Query(const CWebDirectory& directory, const CWebQuery& query) const
{
    CPage page;
    const size_t end = query.offset + std::min(query.limit, directory.sessions.size());
    const CSearchNeedle needle = SearchNeedleOf(query.search);
    if (!needle.usable)
        return page; // no text of a row holds a line break
    const auto late = [&] { return page.late = std::chrono::steady_clock::now() > query.deadline; };
    // The rows the search keeps: one pass over the keys, each match moving
    // on to the next row (in time linear in the keys, whatever the text).
    std::vector<uint8_t> kept(directory.sessions.size(), needle.folded.empty());
    if (!needle.folded.empty()) {
        const CWebDirectory::CSearchIndex& index = directory.Search();
        CNeedleFinder finder(index.keys, needle.folded);
        for (size_t at = 0, found = 0; at < index.keys.size(); ++found) {
            const size_t hit = finder.Next(at);
            if (hit == std::string_view::npos || (found % 1024 == 1023 && late()))
                break;
            const auto row = std::upper_bound(index.ends.begin(), index.ends.end(), static_cast<uint32_t>(hit));
            kept[static_cast<size_t>(row - index.ends.begin())] = 1;
            at = *row;
        }
    }
    const bool anyTime = query.filterMode < listrules::kFilterCurrent || query.filterMode > listrules::kFilterThisMonth;
    const std::vector<uint32_t>& order = directory.Order(query.sortMode);
    for (size_t n = 0; n < order.size() && !page.late; ++n) {
        if (n % 4096 == 4095 && late())
            break;
        const uint32_t i = order[n];
        if (!kept[i] || !(anyTime || directory.sessions[i]->Passes(query.filterMode)))
            continue;
        if (page.total >= query.offset && page.total < end)
            page.rows.push_back(directory.sessions[i].get());
        ++page.total;
    }
    if (page.late)
        page.rows.clear();
    return page;
}
