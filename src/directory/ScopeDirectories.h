#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "directory/AdminScope.h"

class CSessionStore;

// The settings page's commands, on the scope list and the store together.
// Add appends the scope and adds its directory; Edit refreshes the directory
// that bears the old name (when there is one) in place; Delete removes that
// directory, then the scope.
void AddScope(CAdminScopeList& scopes, const CAdminScopeEntry& scope, CSessionStore& doc);
bool EditScope(CAdminScopeList& scopes, size_t index, const CAdminScopeEntry& changed, CSessionStore& doc);
bool DeleteScope(CAdminScopeList& scopes, size_t index, CSessionStore& doc);

// The scope list and the top-level scope directories as they were, put back
// whole when the settings are cancelled. Directories are matched by session
// id, never by record: one deleted and made again is a new record.
class CScopeSnapshot {
public:
    CScopeSnapshot(const CAdminScopeList& scopes, CSessionStore& doc);
    // Directories made since are removed, changed ones refreshed back in
    // place (same record and socket), removed ones added again.
    void Restore(CAdminScopeList& scopes, CSessionStore& doc) const;

private:
    struct CDirectory {
        std::string id;
        std::string text;
        uint32_t group = 0;
        uint16_t port = 0;
        uint8_t ttl = 0;
    };
    std::vector<CAdminScopeEntry> m_scopes;
    std::vector<CDirectory> m_directories;
};
