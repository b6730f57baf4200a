#include "reception/ReceptionText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

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
    // A redundant pair is one stream: it plays while either leg does, and a
    // leg that fails is said as such. Its rate is the larger leg's.
    struct CStream {
        EReceptionState state;
        double rate;
    };
    std::vector<CStream> streams;
    std::vector<bool> inPair(figures.media.size(), false);
    std::string legNotes;
    auto media = [&](int index) -> const CMediaFigures* {
        return index >= 0 && size_t(index) < figures.media.size() ? &figures.media[size_t(index)] : nullptr;
    };
    for (const CDupFigures& pair : figures.pairs) {
        const CMediaFigures *a = media(pair.legA), *b = media(pair.legB);
        if (!a || !b)
            continue;
        inPair[size_t(pair.legA)] = inPair[size_t(pair.legB)] = true;
        // The better leg's state; one not watched tells nothing.
        const bool aBetter = Rank(a->state) != 0 && (Rank(b->state) == 0 || Rank(a->state) < Rank(b->state));
        CStream stream{aBetter ? a->state : b->state, std::max(a->bitRate1s, b->bitRate1s)};
        if (!pair.aligned && stream.state == EReceptionState::Receiving)
            stream.state = EReceptionState::Impaired;
        streams.push_back(stream);
        for (const CMediaFigures* leg : {a, b})
            if (Rank(leg->state) > Rank(stream.state) || (!pair.aligned && leg == a))
                legNotes += std::string("; ") + (pair.aligned ? "leg " + std::string(leg == a ? "A" : "B") + " "
                                                                    + ReceptionStateName(leg->state)
                                                              : std::string("legs not aligned"));
    }
    for (size_t i = 0; i < figures.media.size(); ++i)
        if (!inPair[i])
            streams.push_back({figures.media[i].state, figures.media[i].bitRate1s});
    EReceptionState worst = streams.front().state;
    double rate = 0;
    for (const CStream& s : streams) {
        if (Rank(s.state) > Rank(worst))
            worst = s.state;
        rate += s.rate;
    }
    size_t inWorst = 0;
    for (const CStream& s : streams)
        inWorst += s.state == worst;
    std::string text = ReceptionStateName(worst);
    if (inWorst != streams.size())
        text += ": " + std::to_string(inWorst) + " of " + std::to_string(streams.size());
    if (worst != EReceptionState::NotWatched)
        text += ", " + BitRateText(rate);
    return text + legNotes;
}
