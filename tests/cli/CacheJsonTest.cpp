#include "cli/CacheJson.h"
#include "base/Text.h"
#include "directory/qt/RecordJson.h"
#include "directory/Archive.h"
#include "directory/DocFixture.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

struct CDoc : CStoreFakes {
    CSessionStore doc{Ports()};
};

// The listing as one QJsonDocument of the whole tree: what the streamed
// output must equal byte for byte.
QJsonArray WholeTree(const CSessionList& list)
{
    QJsonArray out;
    for (const auto& record : list) {
        QJsonObject item = RecordToJson(*record);
        if (IsDirectoryType(record->sessionType)) {
            item.insert("directory", QJsonObject{{"group", DirectoryGroupText(*record)},
                                                 {"port", record->links->directoryPort},
                                                 {"ttl", record->links->directoryTtl}});
            item.insert("children", record->links->children ? WholeTree(*record->links->children) : QJsonArray());
        }
        out.append(item);
    }
    return out;
}

std::string Streamed(const CSessionList& list, size_t* pieces = nullptr)
{
    std::string out;
    WriteCacheJson(list, [&](std::string_view part) {
        out.append(part);
        if (pieces)
            ++*pieces;
    });
    return out;
}

// A cache of 1,000 sessions in nested folders, with the texts JSON has to
// escape or cannot hold as UTF-8, empty folders and empty child lists.
std::string GeneratedCache()
{
    CDoc d;
    auto dir = [&](const std::string& id, const std::string& group, int type, const std::shared_ptr<CSDPObject>& parent) {
        auto r = d.t.Parse("v=0\no=- " + id + " 1 IN IP4 10.0.0.1\ns=Folder " + id + "\nm=directory 9875 SAP/SDP 14\n"
                           "c=IN IP4 " + group + "/127\n");
        r->sessionType = type;
        d.doc.AddSession(r, parent);
        return r;
    };
    auto scope = dir("1", "239.255.255.255", kTypeScopeDirectory, nullptr);
    auto nested = dir("2", "239.255.1.255", kTypeDirectory, scope);
    auto deeper = dir("3", "239.255.2.255", kTypeDirectory, nested);
    dir("4", "239.255.3.255", kTypeDirectory, nested); // stays empty
    const std::shared_ptr<CSDPObject> folders[] = {scope, nested, deeper};
    const char* odd[] = {"Caf\xe9 \"quoted\" back\\slash", "tab\there \x01\x1f\x7f", "\xc3\xa9t\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x8e\xb5",
                         "", "/ <script> & </script>"};
    for (int i = 0; i < 1000; ++i) {
        std::string text = "v=0\no=user" + std::to_string(i % 7) + " " + std::to_string(5000 + i) +
                           " 2 IN IP4 10.1.2.3\ns=" + odd[i % 5] + " " + std::to_string(i) + "\ni=" + odd[(i + 2) % 5] +
                           "\nc=IN IP4 224.2." + std::to_string(i % 250) + ".1/" + std::to_string(1 + i % 255) +
                           "\nt=0 0\n";
        if (i % 3 == 0)
            text += "t=3034423619 3042462419\nr=7d 1h 0 25h\n";
        if (i % 4 != 3)
            text += "a=type:meeting\nm=audio 49170 RTP/AVP 0 96\na=rtpmap:96 L8/8000\n";
        if (i % 5 == 0)
            text += "m=video 51372 RTP/AVP 31\nb=AS:" + std::to_string(i) + "\nk=clear:" + odd[i % 5] + "\n";
        auto r = d.t.Parse(text);
        r->own = i % 11 == 0;
        d.doc.AddSession(r, i % 10 == 9 ? nullptr : folders[i % 3]);
    }
    CArchiveWriter out;
    d.doc.StoreList(out, d.doc.MainList(), false);
    return std::string(out.Bytes().data(), out.Bytes().size());
}

class CacheDump : public ::testing::TestWithParam<std::string> {};

TEST_P(CacheDump, StreamedEqualsTheWholeDocument)
{
    const std::string bytes =
        GetParam() == "generated" ? GeneratedCache() : ReadTestFile(std::string(TALMIRA_FUZZ_CORPUS "/fuzz_cache/") + GetParam());
    ASSERT_FALSE(bytes.empty());
    CDoc d;
    CArchiveReader in(bytes);
    ASSERT_TRUE(d.doc.ReadCache(in));
    size_t pieces = 0;
    const std::string streamed = Streamed(d.doc.MainList(), &pieces);
    const QByteArray whole = QJsonDocument(WholeTree(d.doc.MainList())).toJson(QJsonDocument::Indented);
    EXPECT_EQ(streamed, whole.toStdString());
    if (GetParam() == "generated") {
        EXPECT_GT(pieces, 10u) << "written in pieces, not as one document";
    }
}

INSTANTIATE_TEST_SUITE_P(Caches, CacheDump, ::testing::Values("empty.cache", "tree.cache", "ttl_scope.cache", "generated"),
                         [](const auto& info) { return info.param == "generated" ? std::string("generated") : info.param.substr(0, info.param.find('.')); });

// A cache an earlier version wrote (before IPv6 directories existed) and
// the listing that version gave of it: this one reads it to the same listing.
TEST(CacheJson, CacheOfAnEarlierVersionReadsToItsListing)
{
    const std::string bytes = ReadTestFile(std::string(TALMIRA_TEST_DATA) + "/cache/written-before-ipv6.cache");
    const std::string listing = ReadTestFile(std::string(TALMIRA_TEST_DATA) + "/cache/written-before-ipv6.json");
    ASSERT_FALSE(bytes.empty() || listing.empty());
    CDoc d;
    CArchiveReader in(bytes);
    ASSERT_TRUE(d.doc.ReadCache(in)) << in.FailReason();
    EXPECT_EQ(Streamed(d.doc.MainList()), listing);
}

} // namespace
