#include "DocFixture.h"

#include "directory/AdminScope.h"

namespace {

CAdminScopeEntry Scope(const std::string& name, const char* base, uint32_t prefix, uint32_t port = 9875,
                       uint8_t ttl = 15)
{
    return CAdminScopeEntry{name, ttl, port, inet_addr(base), prefix};
}

TEST(AdminScope, SapGroupOfARange)
{
    EXPECT_EQ(Scope("a", "239.255.0.0", 16).SapGroup(), inet_addr("239.255.255.254"));
    EXPECT_EQ(Scope("a", "239.192.4.0", 24).SapGroup(), inet_addr("239.192.4.254"));
    EXPECT_EQ(Scope("a", "239.0.0.0", 8).SapGroup(), inet_addr("238.255.255.255"));
    EXPECT_EQ(Scope("a", "239.1.2.3", 32).SapGroup(), inet_addr("239.1.2.2"));
}

TEST(AdminScope, DirectoryTemplateAndItsParse)
{
    const auto local = Scope("Local", "239.255.0.0", 16, 9875, 15);
    EXPECT_EQ(ScopeDirectoryText(local, "12358"),
              "v=0\no=- 12358 3136895141 IN IP4 127.0.0.1\ns=Local\ni=Local\nm=directory 9875 SAP/SDP 14\n"
              "c=IN IP4 239.255.255.254/15");
    CTestEnv t;
    auto dir = MakeScopeDirectory(local, "12358", t.env);
    EXPECT_EQ(dir->sessionType, kTypeScopeDirectory);
    EXPECT_EQ(dir->name, "Local");
    EXPECT_EQ(dir->information, "Local");
    EXPECT_EQ(dir->directoryGroup, inet_addr("239.255.255.254"));
    EXPECT_EQ(dir->directoryPort, 9875);
    EXPECT_EQ(dir->directoryTtl, 15);
}

TEST(AdminScope, FindByTheBeginningOfTheDirectoryName)
{
    CAdminScopeList list;
    list.Entries() = {Scope("Org", "239.192.0.0", 14), Scope("Local", "239.255.0.0", 16)};
    EXPECT_EQ(list.FindByDirectoryName("Local"), &list.Entries()[1]);
    EXPECT_EQ(list.FindByDirectoryName("Organisation wide"), &list.Entries()[0]);
    EXPECT_EQ(list.FindByDirectoryName("TTL Scope"), nullptr);
    EXPECT_EQ(list.FindByDirectoryName("Lo"), nullptr);
}

TEST(AdminScope, DialogChecks)
{
    EXPECT_EQ(CheckScopeBaseAddress("239.1.2.3"), std::nullopt);
    EXPECT_EQ(CheckScopeBaseAddress("224.0.0.0"), std::nullopt);
    EXPECT_EQ(CheckScopeBaseAddress("not an address"),
              std::optional<std::string>("The base address you entered doesn't look like an IP address"));
    EXPECT_EQ(CheckScopeBaseAddress("10.1.2.3"), std::optional<std::string>("Please enter a Multicast IP address"));
    EXPECT_EQ(CheckScopeBaseAddress("240.0.0.1"), std::optional<std::string>("Please enter a Multicast IP address"));
    EXPECT_TRUE(IsScopePortAccepted(64536));
    EXPECT_TRUE(IsScopePortAccepted(1024));
    EXPECT_FALSE(IsScopePortAccepted(64537));
    EXPECT_FALSE(IsScopePortAccepted(1023));
    EXPECT_FALSE(IsScopePortAccepted(65535));
}

class ScopePageTest : public DocTest {
protected:
    CAdminScopeList scopes;
};

TEST_F(ScopePageTest, AddedScopeGetsItsDirectoryAtOnce)
{
    scopes.AddScope(Scope("Local", "239.255.0.0", 16), *doc);
    ASSERT_EQ(doc->MainList().Size(), 1u);
    auto dir = doc->MainList().Front();
    EXPECT_EQ(dir->originSessionId, "12346");
    EXPECT_EQ(dir->sessionType, kTypeScopeDirectory);
    EXPECT_TRUE(net.SocketOf(*dir)->open);

}

TEST_F(ScopePageTest, EditRefreshesTheDirectoryButNotItsSocket)
{
    scopes.AddScope(Scope("Local", "239.255.0.0", 16), *doc);
    auto dir = doc->MainList().Front();
    ASSERT_TRUE(scopes.EditScope(0, Scope("Campus", "239.192.4.0", 24, 9876, 63), *doc));
    ASSERT_EQ(doc->MainList().Size(), 1u);
    EXPECT_EQ(doc->MainList().Front(), dir);
    EXPECT_EQ(dir->name, "Campus");
    EXPECT_EQ(dir->media[0].address, "239.192.4.254");
    EXPECT_EQ(net.SocketOf(*dir)->group, inet_addr("239.255.255.254"));
    EXPECT_EQ(net.sockets.size(), 1u);
    EXPECT_EQ(scopes.Entries()[0].name, "Campus");
    EXPECT_EQ(views.hints.back().code, CViewHint::kListsChanged);
}

TEST_F(ScopePageTest, EditWithoutADirectoryOnlyChangesTheScope)
{
    scopes.Entries().push_back(Scope("Local", "239.255.0.0", 16));
    ASSERT_TRUE(scopes.EditScope(0, Scope("Campus", "239.192.4.0", 24), *doc));
    EXPECT_TRUE(doc->MainList().Empty());
    EXPECT_EQ(scopes.Entries()[0].name, "Campus");
}

TEST_F(ScopePageTest, DeleteRemovesTheDirectoryWithItsSessions)
{
    scopes.AddScope(Scope("Local", "239.255.0.0", 16), *doc);
    auto dir = doc->MainList().Front();
    doc->AddSession(Session("1"), dir);
    ASSERT_TRUE(scopes.DeleteScope(0, *doc));
    EXPECT_TRUE(doc->MainList().Empty());
    EXPECT_EQ(net.OpenCount(), 0u);
    EXPECT_TRUE(scopes.Entries().empty());
    EXPECT_FALSE(scopes.DeleteScope(0, *doc));
}

TEST_F(ScopePageTest, DeleteLeavesARenamedDirectory)
{
    scopes.AddScope(Scope("Local", "239.255.0.0", 16), *doc);
    doc->MainList().Front()->name = "Renamed";
    ASSERT_TRUE(scopes.DeleteScope(0, *doc));
    EXPECT_EQ(doc->MainList().Size(), 1u);
    EXPECT_TRUE(scopes.Entries().empty());
}

} // namespace
