// Reception figures in words.
#include "reception/ReceptionText.h"

#include <gtest/gtest.h>

namespace {

TEST(ReceptionText, RatesAndCounts)
{
    EXPECT_EQ(BitRateText(0), "0 bit/s");
    EXPECT_EQ(BitRateText(999), "999 bit/s");
    EXPECT_EQ(BitRateText(64000), "64.0 kbit/s");
    EXPECT_EQ(BitRateText(1234567), "1.23 Mbit/s");
    EXPECT_EQ(BitRateText(2.5e9), "2.50 Gbit/s");
    EXPECT_EQ(CountText(0), "0");
    EXPECT_EQ(CountText(999), "999");
    EXPECT_EQ(CountText(1000), "1,000");
    EXPECT_EQ(CountText(1234567), "1,234,567");
}

TEST(ReceptionText, SummaryNamesTheWorstState)
{
    CSessionFigures s;
    EXPECT_EQ(ReceptionSummary(s), "");
    CMediaFigures a;
    a.state = EReceptionState::Receiving;
    a.bitRate1s = 1'000'000;
    s.media.push_back(a);
    EXPECT_EQ(ReceptionSummary(s), "receiving, 1.00 Mbit/s");
    CMediaFigures b = a;
    b.state = EReceptionState::Impaired;
    s.media.push_back(b);
    EXPECT_EQ(ReceptionSummary(s), "impaired: 1 of 2, 2.00 Mbit/s");
    CMediaFigures c;
    c.state = EReceptionState::NotWatched;
    s.media.push_back(c);
    EXPECT_EQ(ReceptionSummary(s), "impaired: 1 of 3, 2.00 Mbit/s");
    s.media = {c};
    EXPECT_EQ(ReceptionSummary(s), "not watched");
    c.state = EReceptionState::Silent;
    s.media.push_back(c);
    EXPECT_EQ(ReceptionSummary(s), "silent: 1 of 2, 0 bit/s");
}

} // namespace
