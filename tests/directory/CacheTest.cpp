#include "DocFixture.h"

#include "directory/ScopeDirectories.h"
#include "directory/Archive.h"
#include "directory/CacheRecord.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

std::string Hex(std::string_view bytes)
{
    std::string out;
    char b[4];
    for (unsigned char c : bytes)
        out.append(b, static_cast<size_t>(std::snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", c)));
    return out;
}

TEST(Archive, TextLengthPrefixesAndCounts)
{
    for (const auto& [n, prefix] : std::vector<std::pair<size_t, std::string>>{
             {0, "00"}, {10, "0A"}, {254, "FE"}, {255, "FF FF 00"}, {65533, "FF FD FF"},
             {65534, "FF FF FF FE FF 00 00"}, {70000, "FF FF FF 70 11 01 00"}}) {
        CArchiveWriter w;
        w.WriteText(std::string(n, 'a'));
        EXPECT_EQ(Hex(w.Bytes().substr(0, (prefix.size() + 1) / 3)), prefix);
        CArchiveReader r(w.Bytes());
        std::string back;
        r.ReadText(back);
        EXPECT_TRUE(!r.Failed() && r.AtEnd() && back == std::string(n, 'a')) << n;
    }
    std::string back = "kept";
    CArchiveReader text(std::string_view("\xFF\x10\x00" "abc", 6));
    text.ReadText(back);
    EXPECT_TRUE(text.Failed() && back.empty());
    // A negative count means no items.
    CArchiveReader negative(std::string_view("\xFE\xFF\xFF\xFF", 4));
    EXPECT_TRUE(negative.ReadCount(5) == 0 && !negative.Failed());
}

class CacheTest : public InstallDirTest {
protected:
    std::string CacheBytes() const { return ReadTestFile((dir / "Talmira.cache").string()); }
    void WriteCache(const std::string& bytes) const
    {
        std::ofstream((dir / "Talmira.cache").string(), std::ios::binary) << bytes;
    }
    std::string Stored()
    {
        CArchiveWriter w;
        doc->StoreList(w, doc->MainList(), false);
        return w.Bytes();
    }
};

TEST_F(CacheTest, DirectoryIsFollowedByGroupPortTtlAndItsList)
{
    auto d = Directory("900", "224.2.127.254", 9875, 127);
    doc->AddSession(d, nullptr);
    CArchiveWriter expected;
    expected.WriteInt(1);
    cache::WriteRecord(expected, *d);
    expected.Bytes() += std::string("\xE0\x02\x7F\xFE\x93\x26\x7F\x02\0\0\0", 11); // group, port, TTL, count
    for (const char* id : {"1", "2"}) {
        doc->AddSession(Session(id), d);
        cache::WriteRecord(expected, *d->links->children->FindById(id));
    }
    EXPECT_EQ(Stored(), expected.Bytes());
}

TEST(CacheRecord, EveryFieldHasFixedBytes)
{
    CSDPObject r;
    std::tie(r.sourceLength, r.version) = std::tuple(0x11, 0x22);
    // One letter per text field, counting up in the stored order.
    auto letters = [](char c, std::initializer_list<CShortText*> fields) {
        for (CShortText* f : fields)
            *f = std::string(1, c++);
    };
    letters('a', {&r.originUser, &r.originSessionId, &r.originVersion, &r.originNetworkType, &r.originAddressType,
                  &r.originAddress, &r.name, &r.information, &r.uri, &r.email, &r.phone, &r.connectionNetworkType,
                  &r.connectionAddressType, &r.connectionAddress, &r.extras.Edit().bandwidthModifier, &r.extras.Edit().bandwidthValue});
    r.times = {{"q", "r", "s", "t", "u"}};
    r.extras.Edit().reserved = {"v", "w", "x", "y"};
    std::tie(r.extras.Edit().keyMethod, r.extras.Edit().keyValue) = std::tuple("z", "A");
    r.attributes = {"B"};
    CSDPMedia& m = r.media.emplace_back();
    letters('C', {&m.media, &m.port, &m.protocol, &m.formatList, &m.extras.Edit().spare, &m.extras.Edit().toolChoice, &m.extras.Edit().mediaLabel,
                  &m.extras.Edit().protocolLabel, &m.extras.Edit().formatLabel});
    m.attributes = {"L"};
    letters('M', {&m.extras.Edit().keyMethod, &m.extras.Edit().keyValue, &m.extras.Edit().bandwidthModifier, &m.extras.Edit().bandwidthValue, &m.extras.Edit().connectionNetworkType,
                  &m.extras.Edit().connectionAddressType, &m.connectionAddress, &m.information, &m.address});
    std::tie(m.ttl, m.addressCount) = std::tuple(0x33, 0x44);
    m.payloadCount = 1; // not stored
    std::tie(r.lastHeard, r.sessionType, r.own) = std::tuple(0x0A0B0C0D, kTypeModerated, 1);

    CArchiveWriter w;
    cache::WriteRecord(w, r);
    EXPECT_EQ(Hex(w.Bytes()),
              "11 00 00 00 22 00 00 00 "                                               // source length, version
              "01 61 01 62 01 63 01 64 01 65 01 66 01 67 01 68 01 69 01 6A 01 6B 01 6C " // origin .. phone
              "01 6D 01 6E 01 6F 01 70 "                                               // connection, bandwidth
              "01 00 00 00 01 71 01 72 01 73 01 74 01 75 "                             // one time entry
              "01 76 01 77 01 78 01 79 01 7A 01 41 "                                   // reserved, key
              "01 00 00 00 01 42 "                                                     // one attribute
              "01 00 00 00 01 43 01 44 01 45 01 46 01 47 01 48 01 49 01 4A 01 4B "     // one media: names, labels
              "01 00 00 00 01 4C "                                                     // its attribute
              "01 4D 01 4E 01 4F 01 50 01 51 01 52 01 53 01 54 01 55 "                 // key .. address
              "33 00 00 00 44 00 00 00 "                                               // TTL, address count
              "0D 0C 0B 0A 05 00 00 00 01");                                           // heard, type, own

    // Read back into the same fields: written again, the same bytes.
    CArchiveReader in(w.Bytes());
    CSDPObject back;
    ASSERT_TRUE(cache::ReadRecord(in, back) && in.AtEnd());
    EXPECT_EQ(back.media.at(0).payloadCount, 0); // not stored
    back.lastHeard = r.lastHeard;                // not taken from the file
    CArchiveWriter again;
    cache::WriteRecord(again, back);
    EXPECT_EQ(again.Bytes(), w.Bytes());
}

TEST_F(CacheTest, TruncatedOrUnsoundCacheTakesTheCorruptPath)
{
    // The TTL Scope directory with a heard session and a directory.
    auto ttlScope = AddDirectory("12345", "224.2.127.254", kTypeScopeDirectory);
    auto session = Session("1", 127, "0", 200);
    doc->AddSession(session, ttlScope);
    doc->AddSession(Directory("901", "224.2.1.1"), ttlScope);
    const std::string sound = Stored();
    CArchiveWriter one;
    cache::WriteRecord(one, *ttlScope);
    const size_t top = 4, topType = top + one.Bytes().size() - 5, child = topType + 5 + 7 + 4;
    one.Bytes().clear();
    cache::WriteRecord(one, *session);
    const size_t childType = child + one.Bytes().size() - 5;
    // Directories nested deeper than any real tree.
    CSDPObject level;
    level.sessionType = kTypeDirectory;
    CArchiveWriter deep;
    for (int i = 0; i < 100000; ++i) {
        deep.WriteInt(1);
        cache::WriteRecord(deep, level);
        deep.Bytes() += std::string(7, '\1');
    }
    auto with = [&](size_t at, std::string_view bytes) { return std::string(sound).replace(at, bytes.size(), bytes); };
    const std::string_view minusOne("\xFF\xFF\xFF\xFF", 4);

    struct Case {
        std::string bytes;
        size_t failsAt = 0;
        const char* reason = nullptr; // a cut: wherever the data ends early
    };
    std::vector<Case> cases = {
        {with(topType, "\x08"), topType, "a session type outside 0..7"},
        {with(topType, minusOne), topType, "a session type outside 0..7"},
        {with(top, minusOne), top, "a negative source length"},
        {with(topType + 4, "\x02"), topType + 4, "an own flag other than 0 or 1"},
        {with(childType, "\x07"), childType, "a scope directory inside a directory"},
        {sound + '\0', sound.size(), "bytes after the main list"},
        // Forty time entries in 40 bytes (each takes at least 5).
        {std::string("\x01\0\0\0", 4) + std::string(24, '\0') + "\x28" + std::string(43, '\0'), 28,
         "a count larger than the data"},
        {deep.Bytes(), 201 * (deep.Bytes().size() / 100000), "directories nested too deep"},
    };
    for (size_t cut = 0; cut < sound.size(); ++cut)
        cases.push_back({sound.substr(0, cut)});
    doc->DeleteContents();
    for (const Case& c : cases) {
        const std::string what = c.reason ? c.reason : "cut at " + std::to_string(c.bytes.size());
        if (c.reason) {
            CArchiveReader in(c.bytes);
            EXPECT_FALSE(Restart()->ReadCache(in)) << what;
            EXPECT_EQ(in.FailedAt(), c.failsAt) << what;
            EXPECT_STREQ(in.FailReason(), c.reason);
        }
        WriteCache(c.bytes);
        fs::create_directories(dir / "tmp");
        std::ofstream((dir / "tmp" / "a.sdp").string()) << "x";
        prompter.shown.clear();
        exit.statuses.clear();
        auto next = Restart();
        EXPECT_FALSE(next->OnNewDocument()) << what;
        // The program ends at once: tmp/ was emptied before.
        EXPECT_FALSE(fs::exists(dir / "tmp" / "a.sdp")) << what;
        EXPECT_EQ(prompter.shown, std::vector<std::string>{"Warning Corrupt Cache File!\n I will remove the cache file, please restart program."}) << what;
        EXPECT_EQ(exit.statuses, std::vector<int>{-1}) << what;
        EXPECT_FALSE(fs::exists(dir / "Talmira.cache")) << what;
        EXPECT_TRUE(next->MainList().Empty()) << what;
    }
    EXPECT_EQ(net.OpenCount(), 0u);
    CArchiveReader whole(sound);
    EXPECT_TRUE(Restart()->ReadCache(whole));
}

// Levels of directories from the main list down to the deepest one.
int Depth(const CSessionList& list)
{
    int deepest = 0;
    for (const auto& r : list)
        if (r->links->children)
            deepest = std::max(deepest, 1 + Depth(*r->links->children));
    return deepest;
}

TEST_F(CacheTest, DeepestTreeTheStoreHoldsIsReadBack)
{
    // The user's own folders: no bound on their sockets, only on the depth.
    std::shared_ptr<CSDPObject> parent;
    for (int level = 0; level < CSessionStore::kMaxDirectoryDepth + 20; ++level) {
        auto folder = Directory(std::to_string(1000 + level), "239.5." + std::to_string(level / 250) + "."
                                                               + std::to_string(level % 250 + 1));
        folder->own = 1;
        if (doc->AddSession(folder, parent) == 1)
            parent = folder;
    }
    ASSERT_EQ(Depth(doc->MainList()), CSessionStore::kMaxDirectoryDepth);
    // As an older cache may hold it: a directory nested in its own group.
    auto top = doc->MainList().Front();
    auto loop = Directory("77", "239.5.0.1");
    loop->parentDirectory = top;
    loop->links.Edit().children = std::make_shared<CSessionList>();
    loop->links->children->Append(Session("1"));
    top->links->children->Append(loop);
    ASSERT_TRUE(doc->OnCloseDocument());

    auto next = Restart();
    const size_t opened = net.sockets.size();
    EXPECT_TRUE(next->OnNewDocument() && prompter.shown.empty());
    ASSERT_TRUE(fs::exists(dir / "Talmira.cache"));
    // The folders and the TTL Scope directory, without the loop.
    EXPECT_EQ(std::tuple(next->MainList().Size(), Depth(next->MainList()), net.sockets.size() - opened),
              std::tuple(2u, CSessionStore::kMaxDirectoryDepth, CSessionStore::kMaxDirectoryDepth + 1u));
    EXPECT_EQ(next->MainList().Front()->links->children->FindById("77"), nullptr);
}

TEST_F(CacheTest, FirstStartLoadsCacheThenTtlScopeThenScopes)
{
    // Without a cache (silently): the TTL Scope directory only.
    ASSERT_TRUE(doc->OnNewDocument());
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_TRUE(prompter.shown.empty());
    // The cache then holds it with a tree below.
    auto d = doc->MainList().Front();
    for (int depth = 0; depth < 3; ++depth) {
        auto child = Directory(std::to_string(1000 + depth), "224.2.2." + std::to_string(depth), 9000 + depth, 15 + depth);
        doc->AddSession(child, d);
        doc->AddSession(Session(std::to_string(depth), 63, NtpStop(t.clock.Now() + 3600)), d);
        d = child;
    }
    ASSERT_TRUE(doc->OnCloseDocument());
    EXPECT_EQ(net.OpenCount(), 0u);

    CAdminScopeList scopes;
    scopes.Entries() = {{"Local", 15, 9875, inet_addr("239.255.0.0"), 16}, {"Org", 63, 9876, inet_addr("239.192.4.0"), 24}};
    t.clock.Advance(500);
    auto next = Restart();
    next->SetScopes(&scopes);
    views.hints.clear();
    ASSERT_TRUE(next->OnNewDocument());
    EXPECT_EQ(next->Title(), "Default");
    // One reset, then the list shows the top level; loading announces nothing.
    ASSERT_EQ(views.hints.size(), 1u);
    EXPECT_TRUE(views.hints.front().code == CViewHint::kTopLevel && net.sent.empty());

    auto socket = [&](const std::shared_ptr<CSDPObject>& r) {
        return std::tuple(net.SocketOf(*r)->group, net.SocketOf(*r)->port, net.SocketOf(*r)->openTtl);
    };
    const auto& main = next->MainList();
    ASSERT_EQ(main.Size(), 3u);
    d = main.Front();
    EXPECT_EQ(d->originSessionId, "12345");
    EXPECT_EQ(socket(d), std::tuple(inet_addr("224.2.127.254"), 9875, 127));
    // The tree comes back (the TTL Scope refresh keeps it) with the time renewed.
    for (int depth = 0; depth < 3; ++depth) {
        auto s = d->links->children->FindById(std::to_string(depth));
        auto sub = d->links->children->FindById(std::to_string(1000 + depth));
        ASSERT_TRUE(s && sub && d->links->children->Size() == 2u);
        EXPECT_EQ(std::tuple(s->parentDirectory.lock(), s->announceTtl, s->lastHeard), std::tuple(d, 63, t.clock.Now()));
        EXPECT_EQ(socket(sub), std::tuple(inet_addr(("224.2.2." + std::to_string(depth)).c_str()), 9000 + depth, 15 + depth));
        d = sub;
    }
    ASSERT_TRUE(main.FindById("12358") && main.FindById("12359"));
    EXPECT_EQ(std::tuple(socket(main.FindById("12358")), socket(main.FindById("12359"))),
              std::tuple(std::tuple(inet_addr("239.255.255.254"), 9875, 15),
                         std::tuple(inet_addr("239.192.4.254"), 9876, 63)));

    // Later initialisations load and add nothing.
    EXPECT_TRUE(next->OnNewDocument());
    EXPECT_TRUE(next->MainList().Empty());
}

TEST_F(CacheTest, ScopeAddedOnTheSettingsPageIsOneDirectoryAfterARestart)
{
    CAdminScopeList scopes;
    scopes.Entries() = {{"Local", 15, 9875, inet_addr("239.255.0.0"), 16}};
    doc->SetScopes(&scopes);
    ASSERT_TRUE(doc->OnNewDocument());
    AddScope(scopes, {"Org", 63, 9876, inet_addr("239.192.4.0"), 24}, *doc);
    ASSERT_EQ(doc->MainList().Size(), 3u);
    ASSERT_TRUE(doc->OnCloseDocument());
    // Twice: the ids the first restart keeps must hold at the next one.
    for (int start = 0; start < 2; ++start) {
        auto next = Restart();
        next->SetScopes(&scopes);
        ASSERT_TRUE(next->OnNewDocument());
        std::vector<std::pair<std::string, std::string>> dirs;
        for (const auto& r : next->MainList())
            dirs.emplace_back(r->name, r->originSessionId);
        EXPECT_EQ(dirs, (std::vector<std::pair<std::string, std::string>>{
                            {"TTL Scope", "12345"}, {"Local", "12358"}, {"Org", "12347"}}));
        ASSERT_TRUE(next->OnCloseDocument());
    }
}

TEST_F(CacheTest, SessionFileStartKeepsTheCacheAndSaveReplacesItWhole)
{
    WriteCache(std::string(4, '\0'));
    const fs::path file = dir / "one.sdp";
    std::ofstream(file.string()) << SessionText("55");
    doc->SetSessionFile(file.string());
    ASSERT_TRUE(doc->OnNewDocument());
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_TRUE(doc->MainList().Front()->originSessionId == "55" && net.sockets.empty());
    EXPECT_TRUE(doc->OnCloseDocument());
    EXPECT_EQ(CacheBytes(), std::string(4, '\0'));
    fs::remove(file);
    doc = Restart();
    doc->SetSessionFile(file.string());
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"The session file " + file.string()
                                                       + " cannot be read (No such file or directory)."});
    prompter.shown.clear();

    doc = Restart();
    WriteCache("old");
    EXPECT_TRUE(doc->SaveCache());
    EXPECT_EQ(Hex(CacheBytes()), "00 00 00 00"); // an empty main list
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1); // no temporary file left

    // The tmp folder's files go with the store; its subfolders stay.
    fs::create_directories(dir / "tmp" / "keep");
    std::ofstream((dir / "tmp" / "a.sdp").string()) << "x";
    std::ofstream((dir / "tmp" / "keep" / "b").string()) << "y";
    doc = Restart();
    EXPECT_TRUE(!fs::exists(dir / "tmp" / "a.sdp") && fs::exists(dir / "tmp" / "keep" / "b") && prompter.shown.empty());

    // An install directory that cannot take the file: nothing written, and
    // the user is told so.
    doc->installDirectory = (dir / "missing").string();
    // A write that fails part-way (a full disk) is cache_full_disk.sh's.
    EXPECT_FALSE(doc->SaveCache());
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Unable to save the cache file " + (dir / "missing").string()
                                                       + "/Talmira.cache: " + std::strerror(ENOENT)
                                                       + "\nNothing was saved; an existing cache file is left as it was."});
    EXPECT_TRUE(exit.statuses.empty());

}

} // namespace
