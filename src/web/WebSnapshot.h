#pragma once
#include "directory/SessionListRules.h"
#include "views/SessionSearch.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// What the web server shows of one record, made on the main thread under
// the record's lock and never changed afterwards: HTTP threads read it
// without touching the store.
struct CWebSession {
    std::string id;          // stable while the record lives (its identity, hashed)
    std::string directoryId; // empty: the main list
    bool isDirectory = false;
    listrules::CRow row;     // the list's cells, as the window reads them
    unsigned passes = 0;     // bit n set: passes time filter n (1..4)
    std::string searchKey;   // the row's texts folded for the search, as the window keeps them
    QByteArray rowJson;      // the row as the list endpoint sends it
    QByteArray detailJson;   // the one-session document
    std::string sdp;         // the writer's text
    QString title;           // the name as shown, for the playlist

    bool Passes(int filterMode) const
    {
        return filterMode < listrules::kFilterCurrent || filterMode > listrules::kFilterThisMonth
            || (passes & (1u << filterMode)) != 0;
    }
};
using WebSessionPtr = std::shared_ptr<const CWebSession>;

// One list of the store: the main list or a directory's.
struct CWebDirectory {
    std::string id;       // empty: the main list
    std::string parentId; // of the list the directory sits in
    QString name;
    bool heard = true;    // has a socket of its own
    std::vector<WebSessionPtr> sessions; // the list's own order

    // The rows ordered by a sort mode, worked out once and shared with the
    // next snapshots for as long as the rows stay the same.
    const std::vector<uint32_t>& Order(int sortMode) const;
    // The rows' search keys end to end (each ends in a line break, which no
    // usable search holds), in the list's order: a search reads one block
    // of memory, not a record per row.
    struct CSearchIndex {
        std::string keys;
        std::vector<uint32_t> ends; // where each row's key ends in `keys`
    };
    const CSearchIndex& Search() const;
    // Takes over the orders worked out for `before` when it holds the very
    // same rows.
    void KeepOrdersOf(const CWebDirectory& before);

private:
    struct COrders {
        std::mutex lock;
        std::unordered_map<int, std::vector<uint32_t>> bySort;
        std::unique_ptr<CSearchIndex> search;
    };
    std::shared_ptr<COrders> m_orders = std::make_shared<COrders>();
};

// What a session list request asks for.
struct CWebQuery {
    int filterMode = listrules::kFilterAll;
    int sortMode = listrules::kSortNameUp;
    QString search;
    size_t offset = 0;
    size_t limit = 200;
    // The work stops here: the request's answer is due.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

struct CWebSnapshot {
    int64_t madeAt = 0;
    std::vector<std::unique_ptr<CWebDirectory>> directories; // the main list first
    std::unordered_map<std::string, const CWebDirectory*> directoryById;
    std::unordered_map<std::string, WebSessionPtr> sessionById;

    const CWebDirectory* Directory(const std::string& id) const;
    WebSessionPtr Session(const std::string& id) const;
    // The rows of a list that pass the filter and the search, in the sort
    // mode's order: how many there are, and those of the window asked for.
    struct CPage {
        size_t total = 0;
        std::vector<const CWebSession*> rows;
        bool late = false; // the deadline came first: no answer
    };
    CPage Query(const CWebDirectory& directory, const CWebQuery& query) const;
};
using WebSnapshotPtr = std::shared_ptr<const CWebSnapshot>;
