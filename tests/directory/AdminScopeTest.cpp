// A scope directory's socket hears the scope's highest address beside its
// SAP group, wherever the directory came from; no other directory does.
#include "DocFixture.h"

#include "directory/ScopeDirectories.h"
#include "directory/Archive.h"

#include <tuple>

namespace {

CAdminScopeEntry Scope(const std::string& name, const char* base, uint32_t prefix, uint32_t port = 9875,
                       uint8_t ttl = 15)
{
    return CAdminScopeEntry{name, ttl, port, inet_addr(base), prefix};
}

TEST(AdminScope, GroupsTextLookupAndChecks)
{
    const struct {
        const char* base;
        uint32_t prefix;
        const char *sapGroup, *announcementGroup; // nullptr: none
    } cases[] = {
        {"239.255.0.0", 16, "239.255.255.254", "239.255.255.255"}, {"239.192.4.0", 24, "239.192.4.254", "239.192.4.255"},
        {"239.0.0.0", 8, "238.255.255.255", "239.255.255.255"},     {"239.1.2.3", 32, "239.1.2.2", "239.1.2.3"},
        {"224.0.0.0", 3, nullptr, nullptr},                         {"239.1.2.3", 33, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        if (c.sapGroup) {
            EXPECT_EQ(Scope("a", c.base, c.prefix).SapGroup(), inet_addr(c.sapGroup)) << c.base << "/" << c.prefix;
        }
        EXPECT_EQ(Scope("a", c.base, c.prefix).AnnouncementGroup(), c.announcementGroup ? inet_addr(c.announcementGroup) : 0u)
            << c.base << "/" << c.prefix;
    }

    const auto local = Scope("Local", "239.255.0.0", 16, 9875, 15);
    EXPECT_EQ(ScopeDirectoryText(local, "12358"),
              "v=0\no=- 12358 3136895141 IN IP4 127.0.0.1\ns=Local\ni=Local\nm=directory 9875 SAP/SDP 14\n"
              "c=IN IP4 239.255.255.254/15");
    CTestEnv t;
    auto dir = MakeScopeDirectory(local, "12358", t.env);
    EXPECT_EQ(std::tuple(dir->sessionType, dir->links->directoryGroup), std::tuple(kTypeScopeDirectory, inet_addr("239.255.255.254")));

    // Found by the whole name; an empty name (an old settings file) names nothing.
    CAdminScopeList list;
    list.Entries() = {Scope("", "239.193.0.0", 16), Scope("Org", "239.192.0.0", 14), Scope("Local", "239.255.0.0", 16)};
    EXPECT_EQ(std::tuple(list.FindByDirectoryName("Local"), list.FindByDirectoryName("Org")),
              std::tuple(&list.Entries()[2], &list.Entries()[1]));
    for (const char* other : {"Organisation wide", "Lo", "TTL Scope", ""})
        EXPECT_EQ(list.FindByDirectoryName(other), nullptr) << other;

    for (const auto& [address, message] : {std::pair<const char*, std::string>{"224.0.0.0", ""}, {"239.255.255.255", ""},
                                           {"not an address", "The base address you entered doesn't look like an IP address"},
                                           {"223.255.255.255", "Please enter a Multicast IP address"},
                                           {"240.0.0.1", "Please enter a Multicast IP address"}})
        EXPECT_EQ(CheckScopeBaseAddress(address).value_or(""), message) << address;
    EXPECT_EQ(std::tuple(IsScopePortAccepted(1023), IsScopePortAccepted(1024), IsScopePortAccepted(64536),
                         IsScopePortAccepted(64537)), std::tuple(false, true, true, false));
}

class AdminScopeTest : public DocTest {
protected:
    CAdminScopeList scopes;
    void SetUp() override { doc->SetScopes(&scopes); }
    uint32_t SecondGroupOf(const std::shared_ptr<CSDPObject>& dir) { return net.SocketOf(*dir)->secondGroup; }
};

TEST_F(AdminScopeTest, ScopePageAddsEditsAndDeletesTheScopesDirectory)
{
    AddScope(scopes, Scope("Local", "239.255.0.0", 16), *doc);
    ASSERT_EQ(doc->MainList().Size(), 1u);
    auto dir = doc->MainList().Front();
    EXPECT_EQ(std::tuple(dir->originSessionId, dir->sessionType), std::tuple("12346", kTypeScopeDirectory));
    EXPECT_EQ(SecondGroupOf(dir), inet_addr("239.255.255.255"));
    doc->AddSession(Session("1"), dir);

    // An edit refreshes the directory, not its socket.
    const size_t hints = views.hints.size();
    ASSERT_TRUE(EditScope(scopes, 0, Scope("Campus", "239.192.4.0", 24, 9876, 63), *doc));
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(doc->MainList().Front(), dir);
    EXPECT_EQ(std::tuple(dir->name, dir->media[0].address, scopes.Entries()[0].name),
              std::tuple("Campus", "239.192.4.254", "Campus"));
    EXPECT_EQ(std::tuple(net.SocketOf(*dir)->group, net.sockets.size()), std::tuple(inet_addr("239.255.255.254"), 1u));
    EXPECT_EQ(std::tuple(views.hints.size(), views.hints.back().code), std::tuple(hints + 1, CViewHint::kListsChanged));

    // A renamed directory is no longer the scope's; without one, only the
    // scope changes.
    AddScope(scopes, Scope("Org", "239.192.0.0", 14), *doc);
    ASSERT_NE(doc->MainList().FindById("12347"), nullptr);
    doc->MainList().FindById("12347")->name = "Renamed";
    ASSERT_TRUE(EditScope(scopes, 1, Scope("Org2", "239.193.0.0", 16), *doc));
    EXPECT_EQ(scopes.Entries()[1].name + "|" + doc->MainList().FindById("12347")->name, "Org2|Renamed");
    ASSERT_TRUE(DeleteScope(scopes, 1, *doc));
    EXPECT_EQ(doc->MainList().Size(), 2u);

    ASSERT_TRUE(DeleteScope(scopes, 0, *doc));
    EXPECT_EQ(std::tuple(doc->MainList().Size(), net.OpenCount(), scopes.Entries().empty()), std::tuple(1u, 1u, true));
    EXPECT_FALSE(DeleteScope(scopes, 0, *doc));
}

// Cancel on the scope page puts a scope's directory back on the socket it
// had, also where a deleted and re-added scope wrote the very same text.
TEST_F(AdminScopeTest, RestoredDirectoryListensWhereItListenedBefore)
{
    for (const auto& edited : {Scope("Campus", "239.192.4.0", 24), Scope("Local", "239.255.0.0", 16, 9876)}) {
        SCOPED_TRACE(edited.name);
        doc->DeleteContents();
        scopes.Entries().clear();
        AddScope(scopes, Scope("Local", "239.255.0.0", 16), *doc);
        ASSERT_TRUE(EditScope(scopes, 0, edited, *doc)); // the text changes, the socket stays
        const CScopeSnapshot before(scopes, *doc);
        ASSERT_TRUE(DeleteScope(scopes, 0, *doc));
        AddScope(scopes, edited, *doc);
        before.Restore(scopes, *doc);
        const auto dir = doc->MainList().FindById("12346");
        const auto* socket = dir ? static_cast<const CFakeSapNetwork::Socket*>(dir->links->directoryReceiver.get()) : nullptr;
        ASSERT_TRUE(socket);
        EXPECT_EQ(std::tuple(socket->open, text::DottedQuad(socket->group), socket->port), std::tuple(true, "239.255.255.254", 9875));
    }
}

TEST_F(AdminScopeTest, ScopeDirectoriesHearBothGroupsFromStartAndCache)
{
    scopes.Entries() = {Scope("Local", "239.255.0.0", 16), Scope("Local", "239.192.4.0", 24, 9876)};
    doc->SetCacheEnabled(false);
    ASSERT_TRUE(doc->OnNewDocument());
    ASSERT_EQ(doc->MainList().Size(), 3u);
    EXPECT_EQ(SecondGroupOf(doc->MainList().Front()), 0u) << "224.2.127.254 is already the global scope's address";
    auto local = doc->MainList().FindById("12358");
    const auto other = doc->MainList().FindById("12359");
    EXPECT_EQ(std::tuple(net.SocketOf(*local)->group, SecondGroupOf(local), SecondGroupOf(other)),
              std::tuple(inet_addr("239.255.255.254"), inet_addr("239.255.255.255"), inet_addr("239.192.4.255")));
    // Someone else's directory on a scope's group names its own address only.
    EXPECT_EQ(SecondGroupOf(AddDirectory("77", "239.255.255.254")), 0u);
    // Own sessions go out on the SAP group.
    auto own = Own("5");
    doc->AddSession(own, local);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].group, inet_addr("239.255.255.254"));

    // Read from a cache; a scope no longer configured keeps its own group only.
    CArchiveWriter out;
    doc->StoreList(out, doc->MainList(), false);
    for (bool configured : {true, false}) {
        if (!configured)
            scopes.Entries().erase(scopes.Entries().begin());
        auto next = MakeDoc();
        next->SetScopes(&scopes);
        CArchiveReader in(out.Bytes());
        ASSERT_TRUE(next->ReadCache(in));
        ASSERT_NE(next->MainList().FindById("12358"), nullptr);
        EXPECT_EQ(SecondGroupOf(next->MainList().FindById("12358")), configured ? inet_addr("239.255.255.255") : 0u);
    }
}

} // namespace
