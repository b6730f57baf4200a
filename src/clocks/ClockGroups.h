#pragma once
// The streams of the directory grouped by PTP domain and grandmaster, as the
// Clocks view shows them.
#include <optional>
#include <string>
#include <vector>

#include "clocks/GrandmasterTable.h"

struct CGrandmasterGroup {
    std::string gmid;                       // as the streams write it; empty: "traceable"
    std::vector<size_t> streams;            // indexes into the references grouped
    // The domain's streams name more than one grandmaster, and this is not
    // the one most of them follow.
    bool differs = false;
    std::optional<CHeardGrandmaster> heard; // as heard in this domain
    CClockMatch match;                      // what a stream naming it reads
};

struct CDomainClocks {
    std::optional<int> domain;              // none: the streams name no domain
    std::vector<CGrandmasterGroup> grandmasters;
};

// Groups `references` by domain, then grandmaster; grandmasters heard that
// no stream names join their domain with no stream.
std::vector<CDomainClocks> GroupClocks(const std::vector<CPtpReference>& references,
                                       const std::vector<CHeardGrandmaster>& heard, bool listening);
