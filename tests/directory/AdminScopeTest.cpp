#include "DocFixture.h"

#include "directory/AdminScope.h"

namespace {

CAdminScopeEntry Scope(const std::string& name, const char* base, uint32_t prefix, uint32_t port = 9875,
                       uint8_t ttl = 15)
{
    return CAdminScopeEntry{name, ttl, port, inet_addr(base), prefix};
}

TEST(AdminScope, SapGroupTemplateAndLookup)
{
    for (const auto& [base, prefix, group] : {std::tuple{"239.255.0.0", 16u, "239.255.255.254"},
                                              {"239.192.4.0", 24u, "239.192.4.254"},
                                              {"239.0.0.0", 8u, "238.255.255.255"},
                                              {"239.1.2.3", 32u, "239.1.2.2"}})
        EXPECT_EQ(Scope("a", base, prefix).SapGroup(), inet_addr(group)) << base << "/" << prefix;

    const auto local = Scope("Local", "239.255.0.0", 16, 9875, 15);
    EXPECT_EQ(ScopeDirectoryText(local, "12358"),
              "v=0\no=- 12358 3136895141 IN IP4 127.0.0.1\ns=Local\ni=Local\nm=directory 9875 SAP/SDP 14\n"
              "c=IN IP4 239.255.255.254/15");
    CTestEnv t;
    auto dir = MakeScopeDirectory(local, "12358", t.env);
    EXPECT_EQ(dir->sessionType, kTypeScopeDirectory);
    EXPECT_EQ(dir->directoryGroup, inet_addr("239.255.255.254"));

    // Found by the beginning of the directory's name.
    CAdminScopeList list;
    list.Entries() = {Scope("Org", "239.192.0.0", 14), Scope("Local", "239.255.0.0", 16)};
    EXPECT_EQ(list.FindByDirectoryName("Local"), &list.Entries()[1]);
    EXPECT_EQ(list.FindByDirectoryName("Organisation wide"), &list.Entries()[0]);
    EXPECT_EQ(list.FindByDirectoryName("Lo"), nullptr);
}

TEST(AdminScope, DialogChecks)
{
    const std::string notAnAddress = "The base address you entered doesn't look like an IP address",
                      notMulticast = "Please enter a Multicast IP address";
    for (const auto& [address, message] : {std::pair<const char*, std::string>{"239.1.2.3", ""}, {"224.0.0.0", ""},
                                           {"not an address", notAnAddress}, {"10.1.2.3", notMulticast},
                                           {"223.255.255.255", notMulticast}, {"240.0.0.1", notMulticast}})
        EXPECT_EQ(CheckScopeBaseAddress(address).value_or(""), message) << address;
    for (const auto& [port, accepted] : {std::pair{1023, false}, {1024, true}, {64536, true}, {64537, false}})
        EXPECT_EQ(IsScopePortAccepted(port), accepted) << port;
}

TEST_F(DocTest, ScopePageAddsEditsAndDeletesTheScopesDirectory)
{
    CAdminScopeList scopes;
    scopes.AddScope(Scope("Local", "239.255.0.0", 16), *doc);
    ASSERT_EQ(doc->MainList().Size(), 1u);
    auto dir = doc->MainList().Front();
    EXPECT_EQ(dir->originSessionId, "12346");
    EXPECT_EQ(dir->sessionType, kTypeScopeDirectory);
    EXPECT_TRUE(net.SocketOf(*dir)->open);
    doc->AddSession(Session("1"), dir);

    // An edit refreshes the directory, not its socket.
    const size_t hints = views.hints.size();
    ASSERT_TRUE(scopes.EditScope(0, Scope("Campus", "239.192.4.0", 24, 9876, 63), *doc));
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(doc->MainList().Front(), dir);
    EXPECT_EQ(dir->name, "Campus");
    EXPECT_EQ(dir->media[0].address, "239.192.4.254");
    EXPECT_EQ(net.SocketOf(*dir)->group, inet_addr("239.255.255.254"));
    EXPECT_EQ(net.sockets.size(), 1u);
    EXPECT_EQ(scopes.Entries()[0].name, "Campus");
    EXPECT_EQ(views.hints.size(), hints + 1);
    EXPECT_EQ(views.hints.back().code, CViewHint::kListsChanged);

    // A renamed directory is no longer the scope's; without one, only the
    // scope changes.
    scopes.AddScope(Scope("Org", "239.192.0.0", 14), *doc);
    ASSERT_NE(doc->MainList().FindById("12347"), nullptr);
    doc->MainList().FindById("12347")->name = "Renamed";
    ASSERT_TRUE(scopes.EditScope(1, Scope("Org2", "239.193.0.0", 16), *doc));
    EXPECT_EQ(scopes.Entries()[1].name, "Org2");
    EXPECT_EQ(doc->MainList().FindById("12347")->name, "Renamed");
    ASSERT_TRUE(scopes.DeleteScope(1, *doc));
    EXPECT_EQ(doc->MainList().Size(), 2u);

    ASSERT_TRUE(scopes.DeleteScope(0, *doc));
    EXPECT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(net.OpenCount(), 1u);
    EXPECT_TRUE(scopes.Entries().empty());
    EXPECT_FALSE(scopes.DeleteScope(0, *doc));
}

} // namespace
