#include "DocFixture.h"

#include "directory/AdminScope.h"
#include "directory/Archive.h"
#include "directory/CacheRecord.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string Hex(std::string_view bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(Archive, TextLengthPrefixes)
{
    auto encoded = [](size_t n) {
        CArchiveWriter w;
        w.WriteText(std::string(n, 'a'));
        return w.Bytes();
    };
    EXPECT_EQ(Hex(encoded(0)), "00");
    EXPECT_EQ(encoded(10), "\x0A" + std::string(10, 'a'));
    EXPECT_EQ(Hex(encoded(254).substr(0, 1)), "FE");
    EXPECT_EQ(Hex(encoded(255).substr(0, 3)), "FF FF 00");
    EXPECT_EQ(Hex(encoded(300).substr(0, 3)), "FF 2C 01");
    EXPECT_EQ(encoded(300).size(), 303u);
    EXPECT_EQ(Hex(encoded(65533).substr(0, 3)), "FF FD FF");
    EXPECT_EQ(Hex(encoded(65534).substr(0, 7)), "FF FF FF FE FF 00 00");
    EXPECT_EQ(encoded(65534).size(), 65541u);

    for (size_t n : {0u, 10u, 254u, 255u, 300u, 65533u, 65534u, 70000u}) {
        const std::string bytes = encoded(n);
        CArchiveReader r(bytes);
        std::string back;
        r.ReadText(back);
        EXPECT_FALSE(r.Failed()) << n;
        EXPECT_TRUE(r.AtEnd()) << n;
        EXPECT_EQ(back.size(), n);
    }
}

TEST(Archive, LengthsAndCountsBeyondTheDataFail)
{
    std::string back = "kept";
    CArchiveReader text(std::string_view("\xFF\x10\x00" "abc", 6));
    text.ReadText(back);
    EXPECT_TRUE(text.Failed());
    EXPECT_TRUE(back.empty());

    // A huge count with little data behind it is refused before allocating.
    CArchiveReader count(std::string_view("\xFF\xFF\xFF\x7F" "0123456789", 14));
    EXPECT_EQ(count.ReadCount(5), 0);
    EXPECT_TRUE(count.Failed());
    // A negative count means no items.
    CArchiveReader negative(std::string_view("\xFE\xFF\xFF\xFF", 4));
    EXPECT_EQ(negative.ReadCount(5), 0);
    EXPECT_FALSE(negative.Failed());
    // Little-endian integers.
    CArchiveReader ints(std::string_view("\x01\x02\x03\x04\x05\x06\x07", 7));
    EXPECT_EQ(ints.ReadInt(), 0x04030201);
    EXPECT_EQ(ints.ReadWord(), 0x0605);
    EXPECT_EQ(ints.ReadByte(), 7);
    EXPECT_EQ(ints.ReadByte(), 0);
    EXPECT_TRUE(ints.Failed());
}

class CacheTest : public DocTest {
protected:
    fs::path dir = fs::temp_directory_path() / ("talmira-cache-" + std::to_string(::getpid()) + "-"
                                                + ::testing::UnitTest::GetInstance()->current_test_info()->name());

    CacheTest()
    {
        fs::remove_all(dir);
        fs::create_directories(dir);
        doc->installDirectory = dir.string();
    }
    ~CacheTest() override { fs::remove_all(dir); }

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
    // A fresh document on the same install directory, initialised.
    std::unique_ptr<COstara32Doc> Restart()
    {
        auto next = MakeDoc();
        next->installDirectory = dir.string();
        return next;
    }
};

TEST_F(CacheTest, EmptyMainListIsFourZeroBytes)
{
    EXPECT_EQ(Hex(Stored()), "00 00 00 00");
    EXPECT_TRUE(doc->SaveCache());
    EXPECT_EQ(Hex(CacheBytes()), "00 00 00 00");
}

TEST_F(CacheTest, DirectoryIsFollowedByGroupPortTtlAndItsList)
{
    auto d = Directory("900", "224.2.127.254", 9875, 127);
    doc->AddSession(d, nullptr);
    auto s1 = Session("1");
    auto s2 = Session("2");
    doc->AddSession(s1, d);
    doc->AddSession(s2, d);

    CArchiveWriter expected;
    expected.WriteInt(1);
    cache::WriteRecord(expected, *d);
    expected.Bytes() += std::string("\xE0\x02\x7F\xFE", 4); // the group's bytes in network order
    expected.WriteWord(9875);
    expected.WriteByte(127);
    expected.WriteInt(2);
    cache::WriteRecord(expected, *s1);
    cache::WriteRecord(expected, *s2);
    EXPECT_EQ(Stored(), expected.Bytes());
}

TEST_F(CacheTest, RecordFieldsInOrder)
{
    auto r = Session("42");
    r->sourceLength = 0x01020304;
    r->lastHeard = 0x0A0B0C0D;
    r->own = 1;
    CArchiveWriter w;
    cache::WriteRecord(w, *r);
    const std::string& b = w.Bytes();
    EXPECT_EQ(Hex(b.substr(0, 8)), "04 03 02 01 00 00 00 00");
    EXPECT_EQ(b.substr(8, 5), std::string("\x01-\x02" "42", 5)); // user name, then the id
    // Tail: last heard, session type, own flag.
    EXPECT_EQ(Hex(b.substr(b.size() - 9)), "0D 0C 0B 0A 03 00 00 00 01");
}

TEST_F(CacheTest, DeepTreeRoundTrip)
{
    auto top = Directory("900", "224.2.127.254");
    top->sessionType = kTypeScopeDirectory;
    doc->AddSession(top, nullptr);
    auto parent = top;
    for (int depth = 0; depth < 6; ++depth) {
        auto child = Directory(std::to_string(1000 + depth), "224.2.2." + std::to_string(depth), 9000 + depth, 15 + depth);
        doc->AddSession(child, parent);
        auto s = Session(std::to_string(depth), 63, sdptext::NtpStop(t.clock.Now() + 3600), 300);
        s->attributes = {"tool:x", std::string(300, 'a')};
        s->media[0].toolChoice = "rat";
        s->media[0].formatLabel = "PCMU";
        s->media[0].attributes = {"rtpmap:0 PCMU/8000"};
        s->reserved = {"r1", "", "r3", std::string(70000, 'z')};
        s->own = depth % 2;
        doc->AddSession(s, parent);
        parent = child;
    }
    const std::string before = Stored();
    EXPECT_TRUE(doc->OnCloseDocument());
    EXPECT_EQ(net.OpenCount(), 0u);

    t.clock.Advance(500);
    net.sent.clear();
    const size_t opened = net.sockets.size();
    auto next = Restart();
    const std::string bytes = CacheBytes();
    CArchiveReader in(bytes);
    ASSERT_TRUE(next->LoadList(in, next->MainList(), nullptr));
    EXPECT_TRUE(in.AtEnd());
    EXPECT_TRUE(net.sent.empty()); // loading announces nothing, not even own sessions
    EXPECT_EQ(net.sockets.size() - opened, 7u);

    // Everything comes back but the time, which is renewed.
    CArchiveWriter again;
    for (const auto& r : next->MainList())
        EXPECT_EQ(r->lastHeard, t.clock.Now());
    next->StoreList(again, next->MainList(), false);
    ASSERT_EQ(again.Bytes().size(), before.size());
    auto d = next->MainList().Front();
    for (int depth = 0; depth < 6; ++depth) {
        auto s = d->children->FindById(std::to_string(depth));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->parentDirectory.lock(), d);
        EXPECT_EQ(s->reserved[3].size(), 70000u);
        EXPECT_EQ(s->media[0].toolChoice, "rat");
        EXPECT_EQ(s->media[0].payloadCount, 0); // not stored
        EXPECT_EQ(s->own, depth % 2);
        EXPECT_EQ(s->announceTtl, 15);
        auto sub = d->children->FindById(std::to_string(1000 + depth));
        ASSERT_NE(sub, nullptr);
        auto socket = net.SocketOf(*sub);
        ASSERT_NE(socket, nullptr);
        EXPECT_EQ(socket->port, 9000 + depth);
        EXPECT_EQ(socket->openTtl, 15 + depth);
        d = sub;
    }
}

TEST_F(CacheTest, TruncatedCacheAtEveryOffsetTakesTheCorruptPath)
{
    auto d = AddDirectory("900", "224.2.127.254");
    doc->AddSession(Session("1", 127, "0", 200), d);
    doc->AddSession(Directory("901", "224.2.1.1"), d);
    const std::string whole = Stored();
    doc->DeleteContents();

    for (size_t cut = 0; cut < whole.size(); ++cut) {
        WriteCache(whole.substr(0, cut));
        prompter.shown.clear();
        exit.statuses.clear();
        net.sent.clear();
        auto next = Restart();
        EXPECT_FALSE(next->OnNewDocument()) << cut;
        EXPECT_EQ(prompter.shown, std::vector<std::string>{COstara32Doc::kCorruptCacheText}) << cut;
        EXPECT_EQ(exit.statuses, std::vector<int>{-1}) << cut;
        EXPECT_FALSE(fs::exists(dir / "Talmira.cache")) << cut;
        EXPECT_TRUE(next->MainList().Empty()) << cut;
        EXPECT_TRUE(net.sent.empty());
    }
    EXPECT_EQ(net.OpenCount(), 0u);
    // The whole file loads.
    WriteCache(whole);
    auto next = Restart();
    EXPECT_TRUE(next->OnNewDocument());
    EXPECT_TRUE(exit.statuses.empty() || exit.statuses.size() == 1); // from the last cut only
}

TEST_F(CacheTest, AbsurdCountIsCorruptWithoutAllocating)
{
    // One record whose time entry count claims two billion entries.
    WriteCache(std::string("\x01\x00\x00\x00", 4) + std::string(8 + 16, '\0') + std::string("\xFF\xFF\xFF\x7F", 4)
               + std::string(40, '\0'));
    EXPECT_FALSE(doc->OnNewDocument());
    EXPECT_EQ(exit.statuses, std::vector<int>{-1});
}

TEST_F(CacheTest, NestingDeeperThanAnyRealTreeIsCorrupt)
{
    // Each level: one directory record holding the next list.
    CSDPObject dirRecord;
    dirRecord.originSessionId = "d";
    dirRecord.sessionType = kTypeDirectory;
    CArchiveWriter w;
    for (int i = 0; i < 100000; ++i) {
        w.WriteInt(1);
        cache::WriteRecord(w, dirRecord);
        w.WriteUInt32(0);
        w.WriteWord(9875);
        w.WriteByte(1);
    }
    w.WriteInt(0);
    WriteCache(w.Bytes());
    EXPECT_FALSE(doc->OnNewDocument());
    EXPECT_EQ(prompter.shown, std::vector<std::string>{COstara32Doc::kCorruptCacheText});
    EXPECT_EQ(net.OpenCount(), 0u);
}

// Levels of directories from the main list down to the deepest one.
int Depth(const CSessionList& list)
{
    int deepest = 0;
    for (const auto& r : list)
        if (r->children)
            deepest = std::max(deepest, 1 + Depth(*r->children));
    return deepest;
}

TEST_F(CacheTest, DeepestTreeTheStoreHoldsIsReadBack)
{
    // The user's own folders: no bound on their sockets, only on the depth.
    std::shared_ptr<CSDPObject> parent;
    for (int level = 0; level < COstara32Doc::kMaxDirectoryDepth + 20; ++level) {
        auto folder = Directory(std::to_string(1000 + level), "239.5." + std::to_string(level / 250) + "."
                                                               + std::to_string(level % 250 + 1));
        folder->own = 1;
        if (doc->AddSession(folder, parent) == 1)
            parent = folder;
    }
    ASSERT_EQ(Depth(doc->MainList()), COstara32Doc::kMaxDirectoryDepth);
    ASSERT_TRUE(doc->OnCloseDocument());

    auto next = Restart();
    EXPECT_TRUE(next->OnNewDocument());
    EXPECT_TRUE(prompter.shown.empty());
    ASSERT_TRUE(fs::exists(dir / "Talmira.cache"));
    // The folders and the TTL Scope directory.
    EXPECT_EQ(next->MainList().Size(), 2u);
    EXPECT_EQ(Depth(next->MainList()), COstara32Doc::kMaxDirectoryDepth);
}

TEST_F(CacheTest, OlderCacheLosesDirectoriesRepeatingTheAddressAboveThem)
{
    // Written before such directories were refused: one nested in its own group.
    auto top = AddDirectory("900", "224.2.127.254", kTypeScopeDirectory);
    auto loop = Directory("901", "224.2.127.254");
    loop->parentDirectory = top;
    loop->children = std::make_shared<CSessionList>();
    loop->children->Append(Session("1"));
    top->children->Append(loop);
    top->children->Append(Session("2"));
    WriteCache(Stored());
    doc->DeleteContents();

    auto next = Restart();
    const size_t opened = net.sockets.size();
    ASSERT_TRUE(next->OnNewDocument());
    auto loaded = next->MainList().Front();
    ASSERT_EQ(Count(loaded), 1u);
    EXPECT_EQ(loaded->children->Front()->originSessionId, "2");
    EXPECT_EQ(net.sockets.size() - opened, 2u); // the loaded directory and the TTL Scope
}

TEST_F(CacheTest, FirstStartLoadsCacheThenTtlScopeThenScopes)
{
    // The cache holds the TTL Scope directory with a heard session.
    auto ttlScope = t.Parse(COstara32Doc::kTtlScopeText);
    ttlScope->sessionType = kTypeScopeDirectory;
    doc->AddSession(ttlScope, nullptr);
    doc->AddSession(Session("1"), ttlScope);
    ASSERT_TRUE(doc->OnCloseDocument());

    CAdminScopeList scopes;
    scopes.Entries().push_back({"Local", 15, 9875, inet_addr("239.255.0.0"), 16});
    scopes.Entries().push_back({"Org", 63, 9876, inet_addr("239.192.4.0"), 24});
    auto next = Restart();
    next->SetScopes(&scopes);
    views.hints.clear();
    ASSERT_TRUE(next->OnNewDocument());
    EXPECT_EQ(next->Title(), "Default");

    auto& main = next->MainList();
    ASSERT_EQ(main.Size(), 3u);
    auto cached = main.FindById("12345");
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->name, "TTL Scope");
    EXPECT_EQ(cached->children->Size(), 1u); // the refresh keeps the heard sessions
    EXPECT_EQ(cached->directoryGroup, Group("224.2.127.254"));
    auto local = main.FindById("12358");
    auto org = main.FindById("12359");
    ASSERT_NE(local, nullptr);
    ASSERT_NE(org, nullptr);
    EXPECT_EQ(local->name, "Local");
    EXPECT_EQ(local->sessionType, kTypeScopeDirectory);
    EXPECT_EQ(net.SocketOf(*local)->group, Group("239.255.255.254"));
    EXPECT_EQ(net.SocketOf(*org)->group, Group("239.192.4.254"));
    EXPECT_EQ(net.SocketOf(*org)->port, 9876);
    EXPECT_EQ(views.hints.front().code, CViewHint::kListsChanged);

    // Later initialisations load and add nothing.
    EXPECT_TRUE(next->OnNewDocument());
    EXPECT_TRUE(next->MainList().Empty());
}

TEST_F(CacheTest, MissingCacheStartsWithTheTtlScopeOnly)
{
    ASSERT_TRUE(doc->OnNewDocument());
    ASSERT_EQ(doc->MainList().Size(), 1u);
    auto ttl = doc->MainList().Front();
    EXPECT_EQ(ttl->originSessionId, "12345");
    EXPECT_EQ(ttl->directoryPort, 9875);
    EXPECT_EQ(ttl->directoryTtl, 127);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(CacheTest, SessionFileStartShowsThatSessionAndKeepsTheCache)
{
    WriteCache(std::string(4, '\0'));
    const fs::path file = dir / "one.sdp";
    std::ofstream(file.string()) << sdptext::Session("55");
    doc->SetSessionFile(file.string());
    ASSERT_TRUE(doc->OnNewDocument());
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(doc->MainList().Front()->originSessionId, "55");
    EXPECT_TRUE(net.sockets.empty());
    EXPECT_TRUE(doc->OnCloseDocument());
    EXPECT_EQ(CacheBytes(), std::string(4, '\0'));
}

TEST_F(CacheTest, WriteGoesThroughATemporaryFile)
{
    WriteCache("old");
    doc->AddSession(Directory("900", "224.2.127.254"), nullptr);
    ASSERT_TRUE(doc->SaveCache());
    EXPECT_EQ(CacheBytes().substr(0, 4), std::string("\x01\x00\x00\x00", 4));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);

    // An install directory that cannot take the file: nothing written, and
    // the user is told so.
    doc->installDirectory = (dir / "missing").string();
    EXPECT_FALSE(doc->SaveCache());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_THAT(prompter.shown[0], ::testing::StartsWith("Unable to save the cache file " + (dir / "missing").string()));
    EXPECT_TRUE(exit.statuses.empty());
}

TEST_F(CacheTest, DestructionEmptiesTheTmpFolderButKeepsSubfolders)
{
    fs::create_directories(dir / "tmp" / "keep");
    std::ofstream((dir / "tmp" / "a.sdp").string()) << "x";
    std::ofstream((dir / "tmp" / "keep" / "b").string()) << "y";
    doc.reset();
    EXPECT_FALSE(fs::exists(dir / "tmp" / "a.sdp"));
    EXPECT_TRUE(fs::exists(dir / "tmp" / "keep" / "b"));
    EXPECT_TRUE(prompter.shown.empty());
}

} // namespace
