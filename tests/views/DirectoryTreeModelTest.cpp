#include "ModelFixture.h"

#include "views/DisplayText.h"

#include <QColor>

#include <filesystem>

namespace {

using TreeTest = ModelTest;

TEST_F(TreeTest, HoldsTheDirectoriesSortedWithoutPlainSessions)
{
    const QModelIndex root = tree.RootIndex();
    EXPECT_EQ(std::tuple(tree.rowCount(), root.data().toString(), Children(root)), std::tuple(1, QString("MBone"), Texts{}));

    auto b = Folder("b", "239.1.1.2");
    Add("s1");
    auto a = Folder("a", "239.1.1.1");
    auto c = Folder("c", "239.1.1.3", a);
    Add("s2", a);
    Folder("D", "239.1.1.4");
    EXPECT_EQ(Children(root), (Texts{"Dir a", "Dir b", "Dir D"}));
    EXPECT_EQ(Children(tree.IndexOf(*a)), Texts{"Dir c"});
    EXPECT_TRUE(tree.RecordAt(tree.IndexOf(*c)) == c && !tree.RecordAt(root) && tree.IndexOf(*c).parent() == tree.IndexOf(*a));

    // A rename comes with the next announcement and moves the item to its place.
    auto renamed = t.Parse("v=0\no=- a 1 IN IP4 10.0.0.1\ns=Zulu\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.1.1.1/127\n");
    doc.AddSession(renamed, nullptr);
    EXPECT_EQ(Children(root), (Texts{"Dir b", "Dir D", "Zulu"}));

    // A directory goes with everything below it.
    doc.OnSapMessage(ESapAction::Delete, renamed, nullptr);
    EXPECT_TRUE(Children(root) == (Texts{"Dir b", "Dir D"}) && !tree.IndexOf(*c).isValid());
    doc.RemoveSession(b);
    EXPECT_EQ(Children(root), Texts{"Dir D"});
}

TEST_F(TreeTest, RebuildsOnResets)
{
    auto top = Folder("a", "239.1.1.1");
    Folder("c", "239.1.1.3", top);
    doc.ClearCache();
    EXPECT_EQ(std::pair(Children(tree.RootIndex()), Children(tree.IndexOf(*top))), std::pair(Texts{"Dir a"}, Texts{}));

    // A new document: the store is emptied and refilled with the TTL Scope.
    const auto dir = std::filesystem::temp_directory_path() / ("talmira-tree-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "tmp");
    doc.installDirectory = dir.string();
    doc.SetCacheEnabled(false);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(Children(tree.RootIndex()), Texts{"TTL Scope"});
    EXPECT_EQ(tree.IndexOf(*doc.MainList().Front()).data(CDirectoryTreeModel::kKindRole).toInt(),
              CDirectoryTreeModel::kKindScope);
    std::filesystem::remove_all(dir);
}

// Bytes from the network: UTF-8 when valid, else Latin-1; nothing that
// breaks a line survives.
TEST(DisplayTextTest, DecodesAndFlattens)
{
    const struct {
        std::string bytes;
        QString text;
    } cases[] = {
        {"plain", "plain"},
        {"Caf\xc3\xa9", QString::fromUtf8("Caf\xc3\xa9")},
        {"Caf\xe9", QString::fromUtf8("Caf\xc3\xa9")},
        {"\xc3", QString::fromUtf8("\xc3\x83")}, // cut UTF-8 reads as Latin-1
        {"a\nb\tc\r\x7f", "a b c  "},
        {"\x85x", " x"},                          // Latin-1 next line
        {"1\xe2\x80\xa8" "2\xe2\x80\xa9" "3", "1 2 3"}, // line and paragraph separators
        {std::string("a\0b", 3), "a b"},
        // Direction overrides, embeddings and isolates are dropped.
        {"H2 \xe2\x80\xae" "gnp.exe\xe2\x80\xac RTL", "H2 gnp.exe RTL"},
        {"\xe2\x80\xaa" "a\xe2\x80\xab" "b\xe2\x81\xa6" "c\xe2\x81\xa7" "d\xe2\x81\xa8" "e\xe2\x81\xa9", "abcde"},
        {"\xe2\x80\x8f" "kept", QString::fromUtf8("\xe2\x80\x8f" "kept")}, // a plain mark reorders nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayText(c.bytes), c.text) << c.bytes;
}

TEST_F(TreeTest, ShowsNamesAsDisplayText)
{
    auto latin = t.Parse("v=0\no=- x 1 IN IP4 10.0.0.1\ns=Caf\xe9\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.1.1.9/127\n");
    Add(latin);
    EXPECT_EQ(tree.IndexOf(*latin).data().toString(), QString::fromUtf8("Caf\xc3\xa9"));
    // A directory the store holds without a socket is greyed and says why.
    const QModelIndex at = tree.IndexOf(*latin);
    EXPECT_FALSE(at.data(Qt::ForegroundRole).isValid());
    latin->links.Edit().directoryReceiver.reset();
    EXPECT_TRUE(at.data(Qt::ForegroundRole).value<QColor>() == Qt::gray &&
                at.data(Qt::ToolTipRole).toString().endsWith(CDirectoryTreeModel::kUnheardText));
    // One without a name shows a greyed stand-in.
    auto unnamed = t.Parse("v=0\no=- y 1 IN IP4 10.0.0.1\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.1.1.8/127\n");
    Add(unnamed);
    const QModelIndex none = tree.IndexOf(*unnamed);
    EXPECT_EQ(std::make_tuple(none.data().toString(), none.data(Qt::ForegroundRole).value<QColor>(), unnamed->name),
              std::make_tuple(QString("(no name)"), QColor(Qt::gray), std::string()));
}

} // namespace
