#include "reception/ReceptionText.h"

#include <cstdio>

std::string BitRateText(double bits)
{
    char text[48];
    if (bits < 1000)
        std::snprintf(text, sizeof text, "%.0f bit/s", bits);
    else if (bits < 1e6)
        std::snprintf(text, sizeof text, "%.1f kbit/s", bits / 1e3);
    else if (bits < 1e9)
        std::snprintf(text, sizeof text, "%.2f Mbit/s", bits / 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f Gbit/s", bits / 1e9);
    return text;
}

std::string CountText(uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

namespace {
// Worse states rank higher: not watched is the least informative, not the worst.
int Rank(EReceptionState s)
{
    switch (s) {
    case EReceptionState::Silent: return 3;
    case EReceptionState::Impaired: return 2;
    case EReceptionState::Receiving: return 1;
    case EReceptionState::NotWatched: return 0;
    }
    return 0;
}
} // namespace

std::string ReceptionSummary(const CSessionFigures& figures)
{
    if (figures.media.empty())
        return {};
    EReceptionState worst = figures.media.front().state;
    double rate = 0;
    for (const CMediaFigures& m : figures.media) {
        if (Rank(m.state) > Rank(worst))
            worst = m.state;
        rate += m.bitRate1s;
    }
    size_t inWorst = 0;
    for (const CMediaFigures& m : figures.media)
        inWorst += m.state == worst;
    std::string text = ReceptionStateName(worst);
    if (inWorst != figures.media.size())
        text += ": " + std::to_string(inWorst) + " of " + std::to_string(figures.media.size());
    if (worst != EReceptionState::NotWatched)
        text += ", " + BitRateText(rate);
    return text;
}
