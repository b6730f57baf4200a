#include "clocks/ClockGroups.h"

#include <algorithm>
#include <map>

std::vector<CDomainClocks> GroupClocks(const std::vector<CPtpReference>& references,
                                       const std::vector<CHeardGrandmaster>& heard, bool listening)
{
    // std::nullopt sorts first: the streams without a domain lead.
    std::map<std::optional<int>, std::map<std::string, CGrandmasterGroup>> domains;
    for (size_t i = 0; i < references.size(); ++i) {
        const CPtpReference& r = references[i];
        CGrandmasterGroup& group = domains[r.domain][r.gmid];
        if (group.streams.empty()) {
            group.gmid = r.gmid;
            group.match = MatchClock(r, heard, listening);
        }
        group.streams.push_back(i);
    }
    for (const CHeardGrandmaster& g : heard) {
        CGrandmasterGroup& group = domains[g.domain][g.gmid];
        group.gmid = g.gmid;
        group.heard = g;
    }
    std::vector<CDomainClocks> out;
    for (auto& [domain, groups] : domains) {
        CDomainClocks& d = out.emplace_back();
        d.domain = domain;
        size_t most = 0;
        for (const auto& [gmid, group] : groups)
            most = std::max(most, group.streams.size());
        const auto named = std::count_if(groups.begin(), groups.end(), [](const auto& g) {
            return !g.second.streams.empty();
        });
        const auto largest = std::count_if(groups.begin(), groups.end(), [most](const auto& g) {
            return g.second.streams.size() == most;
        });
        // Only the one grandmaster most streams follow is not marked; with
        // no such one, every stream of the domain is.
        for (auto& [gmid, group] : groups) {
            group.differs = named > 1 && !group.streams.empty() && (group.streams.size() < most || largest > 1);
            d.grandmasters.push_back(std::move(group));
        }
    }
    return out;
}
