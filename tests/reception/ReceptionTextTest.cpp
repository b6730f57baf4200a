// Reception figures in words.
#include "reception/ReceptionText.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace {

TEST(ReceptionText, RatesAndCounts)
{
    const std::pair<double, const char*> rates[] = {
        {0, "0 bit/s"}, {999, "999 bit/s"}, {64000, "64.0 kbit/s"}, {1234567, "1.23 Mbit/s"}, {2.5e9, "2.50 Gbit/s"}};
    for (const auto& [rate, text] : rates)
        EXPECT_EQ(BitRateText(rate), text);
    const std::pair<uint64_t, const char*> counts[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}};
    for (const auto& [count, text] : counts)
        EXPECT_EQ(CountText(count), text);
}

TEST(ReceptionText, SummaryNamesTheWorstState)
{
    auto figures = [](EReceptionState state, double bitRate = 0) {
        CMediaFigures m;
        m.state = state;
        m.bitRate1s = bitRate;
        return m;
    };
    const CMediaFigures receiving = figures(EReceptionState::Receiving, 1'000'000);
    const CMediaFigures impaired = figures(EReceptionState::Impaired, 1'000'000);
    const CMediaFigures off = figures(EReceptionState::NotWatched), silent = figures(EReceptionState::Silent);
    // The first two media entries are a redundant pair where `aligned` is given.
    const std::tuple<std::vector<CMediaFigures>, std::optional<bool>, const char*> cases[] = {
        {{}, {}, ""},
        {{receiving}, {}, "receiving, 1.00 Mbit/s"},
        {{receiving, impaired}, {}, "impaired: 1 of 2, 2.00 Mbit/s"},
        {{receiving, impaired, off}, {}, "impaired: 1 of 3, 2.00 Mbit/s"},
        {{off}, {}, "not watched"},
        {{off, silent}, {}, "silent: 1 of 2, 0 bit/s"},
        {{receiving, silent}, true, "receiving, 1.00 Mbit/s; leg B silent"},
        {{silent, impaired, receiving}, true, "impaired: 1 of 2, 2.00 Mbit/s; leg A silent"},
        {{receiving, receiving}, false, "impaired, 1.00 Mbit/s; legs not aligned"},
    };
    for (const auto& [media, aligned, text] : cases) {
        CSessionFigures s;
        s.media = media;
        if (aligned) {
            s.media[1].mediaIndex = 1;
            CDupFigures pair;
            pair.legB = 1;
            pair.aligned = *aligned;
            s.pairs.push_back(pair);
        }
        EXPECT_EQ(ReceptionSummary(s), text);
    }
}

} // namespace
