// A scope directory's socket hears the scope's highest address beside its
// SAP group, wherever the directory came from; no other directory does.
#include "DocFixture.h"

#include "directory/AdminScope.h"
#include "directory/Archive.h"

namespace {

CAdminScopeEntry Scope(const char* base, uint32_t prefix, uint32_t port = 9875)
{
    return CAdminScopeEntry{"Local", 15, port, inet_addr(base), prefix};
}

TEST(ScopeGroups, AnnouncementGroupIsTheHighestAddressOfTheRange)
{
    const struct {
        const char* base;
        uint32_t prefix;
        const char* expected; // nullptr: none
    } cases[] = {
        {"239.255.0.0", 16, "239.255.255.255"}, {"239.192.4.0", 24, "239.192.4.255"},
        {"239.0.0.0", 8, "239.255.255.255"},    {"239.1.2.3", 32, "239.1.2.3"},
        {"224.0.0.0", 3, nullptr},              {"239.1.2.3", 33, nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Scope(c.base, c.prefix).AnnouncementGroup(), c.expected ? inet_addr(c.expected) : 0u)
            << c.base << "/" << c.prefix;
}

class ScopeGroupsTest : public DocTest {
protected:
    CAdminScopeList scopes;
    void SetUp() override
    {
        scopes.Entries() = {Scope("239.255.0.0", 16), Scope("239.192.4.0", 24, 9876)};
        doc->SetScopes(&scopes);
        doc->SetCacheEnabled(false);
    }
    uint32_t SecondGroupOf(const std::shared_ptr<CSDPObject>& dir) { return net.SocketOf(*dir)->secondGroup; }
};

TEST_F(ScopeGroupsTest, ScopeDirectoriesHearBothGroupsAndSendOnTheirOwn)
{
    ASSERT_TRUE(doc->OnNewDocument());
    ASSERT_EQ(doc->MainList().Size(), 3u);
    auto ttlScope = doc->MainList().Front();
    EXPECT_EQ(SecondGroupOf(ttlScope), 0u) << "224.2.127.254 is already the global scope's address";
    auto local = doc->MainList().FindById("12358");
    EXPECT_EQ(net.SocketOf(*local)->group, inet_addr("239.255.255.254"));
    EXPECT_EQ(SecondGroupOf(local), inet_addr("239.255.255.255"));
    EXPECT_EQ(SecondGroupOf(doc->MainList().FindById("12359")), inet_addr("239.192.4.255"));

    scopes.AddScope(Scope("239.254.0.0", 16), *doc);
    EXPECT_EQ(SecondGroupOf(doc->MainList().FindById("12348")), inet_addr("239.254.255.255"));

    // Someone else's directory on a scope's group names its own address only.
    EXPECT_EQ(SecondGroupOf(AddDirectory("77", "239.255.255.254")), 0u);

    auto own = Session("5");
    own->own = 1;
    doc->AddSession(own, local);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].group, inet_addr("239.255.255.254"));
}

TEST_F(ScopeGroupsTest, ScopeDirectoriesReadFromTheCacheToo)
{
    ASSERT_TRUE(doc->OnNewDocument());
    CArchiveWriter out;
    doc->StoreList(out, doc->MainList(), false);
    auto next = MakeDoc();
    next->SetScopes(&scopes);
    CArchiveReader in(out.Bytes());
    ASSERT_TRUE(next->ReadCache(in));
    auto local = next->MainList().FindById("12358");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(SecondGroupOf(local), inet_addr("239.255.255.255"));
    // A scope no longer configured: its cached directory keeps its own group only.
    scopes.Entries().erase(scopes.Entries().begin());
    CArchiveReader again(out.Bytes());
    auto third = MakeDoc();
    third->SetScopes(&scopes);
    ASSERT_TRUE(third->ReadCache(again));
    EXPECT_EQ(SecondGroupOf(third->MainList().FindById("12358")), 0u);
}

} // namespace
