#include "gui/ToolPickerDialog.h"
#include "support/GuiTestSupport.h"
#include "tools/ToolLauncher.h"
#include "tools/ToolsTestSupport.h"

namespace {

// Three tools for audio PCMU (alpha, beta, gamma in file order) and one for video H.261.
class ToolPickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApplication();
        fs::create_directories(fs::path(data.installDir) / "plugins");
        for (const char* tool : {"alpha", "beta", "gamma"})
            AddPlugin(tool, "audio", "0", "PCMU");
        AddPlugin("delta", "video", "31", "H.261");
        ASSERT_EQ(data.Load(prompter), EPluginLoad::Ok);
        ASSERT_EQ(data.registry.groups.size(), 2u);
    }
    void AddPlugin(const std::string& tool, const std::string& media, const std::string& fmt, const std::string& name)
    {
        std::ofstream(fs::path(data.installDir) / "plugins" / ("rev2.plugin." + tool + "." + media + ".rtpavp.1"))
            << "media: " << media << "\nproto: RTP/AVP\nprotoname: RTP\ntool: " << tool << "-bin\ntoolname: " << tool
            << "\ndescription: " << tool << " plays it\nfmt: " << fmt << "\n{\n  fmtname: " << name
            << "\n}\nflags: $(ADDRESS)\n";
    }
    // The orders of every group's selected tools are 0..n-1, unselected ones -1.
    void ExpectOrderInvariant() const
    {
        for (const CMediaListEntry& g : data.registry.groups) {
            std::vector<int> orders;
            for (const CToolEntry& t : g.tools) {
                if (t.selected)
                    orders.push_back(t.order);
                else
                    EXPECT_EQ(t.order, -1) << t.name;
            }
            std::sort(orders.begin(), orders.end());
            for (size_t i = 0; i < orders.size(); ++i)
                EXPECT_EQ(orders[i], static_cast<int>(i)) << g.media;
        }
    }
    std::string FileBytes() const { return ReadTestFile(ToolOrderPath(data.installDir)); }
    // "name:selected:order" of each tool of the first group.
    static std::string ToolsOfFirstGroup(const CToolRegistry& registry)
    {
        std::string out;
        for (const CToolEntry& t : registry.groups[0].tools)
            out += t.name + ":" + std::to_string(t.selected) + ":" + std::to_string(t.order) + " ";
        return out;
    }

    QTemporaryDir tmp;
    CToolData data{tmp.path().toStdString(), {}, {}};
    CFakePrompter prompter;
    CScriptedToolDialogs dialogs;
    CFakeExecutables executables;
};

TEST_F(ToolPickerTest, GroupsAndTexts)
{
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    QTreeWidget& groups = picker.Groups();
    ASSERT_EQ(groups.topLevelItemCount(), 2);
    QStringList texts = {picker.windowTitle(), picker.PathButton().text()};
    for (const QTreeWidgetItem* row : {groups.headerItem(), groups.topLevelItem(0)})
        texts << row->text(0) + "|" + row->text(1) + "|" + row->text(2);
    texts << ItemTexts(picker.Selected()).join(' ') + "|" + ItemTexts(picker.Available()).join(' ');
    EXPECT_EQ(texts, (QStringList{"Tool Picker", "Find Tool...", "Media|Protocol|Format", "audio|RTP|PCMU", "alpha beta gamma|"}));
    EXPECT_TRUE(groups.topLevelItem(0)->isSelected() && !picker.PathButton().isEnabled());

    // Found or not decides colour and the bottom button's text.
    for (const bool found : {false, true}) {
        if (found)
            executables.known["delta-bin"] = "/opt/delta-bin";
        groups.setCurrentItem(groups.topLevelItem(0));
        groups.setCurrentItem(groups.topLevelItem(1));
        picker.Selected().setCurrentRow(0);
        EXPECT_EQ(std::tuple(ItemTexts(picker.Selected()), picker.Selected().item(0)->foreground().color() == Qt::red,
                             picker.PathButton().isEnabled(), picker.PathButton().text()),
                  std::tuple(QStringList{"delta"}, !found, true, QString(found ? "Edit Path..." : "Find Tool...")));
    }
}

// No format name is cut: the list takes the width its columns need.
TEST_F(ToolPickerTest, GroupColumnsFitTheirNames)
{
    AddPlugin("epsilon", "audio", "96", "any format, described by the session's own SDP file");
    ASSERT_EQ(data.Load(prompter), EPluginLoad::Ok);
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    picker.show();
    QTreeWidget& groups = picker.Groups();
    const QAbstractItemView& view = groups;
    for (int column = 0; column < groups.columnCount(); ++column)
        EXPECT_GE(groups.header()->sectionSize(column), view.sizeHintForColumn(column)) << column;
}

// One button after another on the audio group, at the ends of the order
// too; after each the lists, the row that stays selected and the order
// invariant are checked.
TEST_F(ToolPickerTest, EveryButtonKeepsTheOrder)
{
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    enum EList { kAvailable, kSelected };
    const struct {
        EList list;
        int row; // -1: nothing selected there
        QPushButton& button;
        QStringList selected, available;
        int selectedRow; // where the selection is afterwards in "Selected Tools:", -1 none
        std::string message;
    } steps[] = {
        {kSelected, 1, picker.RemoveButton(), {"alpha", "gamma"}, {"beta"}, -1, ""},
        {kSelected, 0, picker.UpButton(), {"alpha", "gamma"}, {"beta"}, 0, ""},
        {kSelected, 1, picker.DownButton(), {"alpha", "gamma"}, {"beta"}, 1, ""},
        {kSelected, 1, picker.UpButton(), {"gamma", "alpha"}, {"beta"}, 0, ""},
        {kAvailable, 0, picker.AddButton(), {"gamma", "alpha", "beta"}, {}, 2, ""},
        {kSelected, 0, picker.DownButton(), {"alpha", "gamma", "beta"}, {}, 1, ""},
        {kSelected, 0, picker.RemoveButton(), {"gamma", "beta"}, {"alpha"}, -1, ""},
        {kSelected, 1, picker.RemoveButton(), {"gamma"}, {"alpha", "beta"}, -1, ""},
        {kAvailable, -1, picker.AddButton(), {"gamma"}, {"alpha", "beta"}, -1,
         "Please select the tool you want to add!"},
        {kSelected, -1, picker.RemoveButton(), {"gamma"}, {"alpha", "beta"}, -1,
         "Please select the tool you want to add!"},
        {kSelected, -1, picker.UpButton(), {"gamma"}, {"alpha", "beta"}, -1, ""},
        {kAvailable, 1, picker.AddButton(), {"gamma", "beta"}, {"alpha"}, 1, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(&step - steps);
        QListWidget& list = step.list == kAvailable ? picker.Available() : picker.Selected();
        picker.Available().clearSelection();
        picker.Selected().clearSelection();
        if (step.row >= 0)
            list.setCurrentRow(step.row);
        prompter.shown.clear();
        step.button.click();
        EXPECT_EQ(std::pair(ItemTexts(picker.Selected()), ItemTexts(picker.Available())), std::pair(step.selected, step.available));
        const auto picked = picker.Selected().selectedItems();
        EXPECT_EQ(picked.isEmpty() ? -1 : picker.Selected().row(picked.first()), step.selectedRow);
        EXPECT_EQ(prompter.shown, step.message.empty() ? std::vector<std::string>{}
                                                       : std::vector<std::string>{step.message});
        ExpectOrderInvariant();
    }

    // Without a group both moves say so first.
    picker.Groups().clearSelection();
    prompter.shown.clear();
    picker.AddButton().click();
    picker.RemoveButton().click();
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{"Please select a media entry", "Please select a media entry"}));
}

TEST_F(ToolPickerTest, EnterSavesTheFileAsTheCoreWritesIt)
{
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    ASSERT_NO_FATAL_FAILURE(ShowActive(picker));
    picker.Selected().setCurrentRow(0);
    picker.RemoveButton().click();
    picker.Selected().setCurrentRow(1);
    picker.UpButton().click();
    picker.Selected().setFocus();
    QTest::keyClick(&picker.Selected(), Qt::Key_Return);
    EXPECT_TRUE(picker.result() == QDialog::Accepted && prompter.shown.empty());

    const auto encoded = EncodeToolOrder(data.registry);
    ASSERT_TRUE(encoded);
    EXPECT_EQ(FileBytes(), *encoded);
    CToolRegistry read;
    ASSERT_TRUE(DecodeToolOrder(FileBytes(), read));
    EXPECT_EQ(ToolsOfFirstGroup(read), "alpha:0:-1 beta:1:1 gamma:1:0 ");
}

TEST_F(ToolPickerTest, EscapeRestoresTheRegistryFromTheUntouchedFile)
{
    ASSERT_TRUE(SaveToolOrder(data.installDir, data.registry, prompter));
    const std::string saved = FileBytes();
    const std::string before = ToolsOfFirstGroup(data.registry);
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    ASSERT_NO_FATAL_FAILURE(ShowActive(picker));
    picker.Selected().setCurrentRow(2);
    picker.UpButton().click();
    picker.Selected().setCurrentRow(0);
    picker.RemoveButton().click();
    EXPECT_NE(ToolsOfFirstGroup(data.registry), before);
    QTest::keyClick(&picker.Selected(), Qt::Key_Escape);
    EXPECT_EQ(std::tuple(picker.result(), FileBytes(), ToolsOfFirstGroup(data.registry)),
              std::tuple(int(QDialog::Rejected), saved, before));
    // Matched to the plug-ins again, so the launcher can use it.
    for (const CToolEntry& t : data.registry.groups[0].tools)
        EXPECT_TRUE(t.plugin) << t.name;
}

// The bottom button saves what was edited so far, so a later Cancel keeps
// it: Find Tool for a missing tool, then Edit Path for the found one.
TEST_F(ToolPickerTest, PathButtonSavesAndCancelKeepsIt)
{
    dialogs.where = ESearchWhere::FileSystem;
    dialogs.foundOnDisk = "/opt/bin/beta-bin";
    executables.known["/opt/bin/beta-bin"] = "/opt/bin/beta-bin";
    executables.known["/usr/local/beta-bin"] = "/usr/local/beta-bin";
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    ASSERT_NO_FATAL_FAILURE(ShowActive(picker));
    picker.Selected().setCurrentRow(1);
    picker.RemoveButton().click(); // beta is available now, and selected there
    picker.Available().setFocus();
    picker.PathButton().click();
    EXPECT_EQ(dialogs.asked, (Words{"where", "find:beta-bin"}));
    EXPECT_EQ(std::tuple(data.registry.groups[0].tools[1].plugin->foundPath, picker.PathButton().text()),
              std::tuple("/opt/bin/beta-bin", QString("Edit Path...")));

    OnModal<CChangePathDialog>([](CChangePathDialog& d) {
        auto* field = d.findChild<QLineEdit*>();
        EXPECT_EQ(d.windowTitle() + ": " + field->text(), "Change Path: /opt/bin/beta-bin");
        field->setText("/usr/local/beta-bin");
        QTest::keyClick(field, Qt::Key_Return);
    });
    picker.Available().setFocus();
    picker.PathButton().click();
    EXPECT_EQ(data.registry.groups[0].tools[1].plugin->foundPath, "/usr/local/beta-bin");

    picker.reject();
    EXPECT_EQ(std::tuple(ToolsOfFirstGroup(data.registry), data.registry.groups[0].tools[1].path, prompter.shown.size()),
              std::tuple("alpha:1:0 beta:0:-1 gamma:1:1 ", "/usr/local/beta-bin", size_t{0}));
}

// "new?": a plug-in the search installed joins its group last; edits not
// saved yet are gone, as the registry is read again from the file.
TEST_F(ToolPickerTest, NewPluginsReloadTheRegistryAndTheLists)
{
    ASSERT_TRUE(SaveToolOrder(data.installDir, data.registry, prompter));
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    std::vector<std::string> searched;
    picker.searchNewPlugins = [&](const CMediaListEntry& group) {
        searched.push_back(group.media + " " + group.protocol + " " + group.format);
        AddPlugin("epsilon", "audio", "0", "PCMU");
        return true;
    };
    picker.Selected().setCurrentRow(0);
    picker.RemoveButton().click();
    picker.SearchNewPlugins();
    EXPECT_EQ(searched, std::vector<std::string>{"audio RTP/AVP 0"});
    EXPECT_EQ(std::tuple(ItemTexts(picker.Selected()), picker.Available().count(), data.plugins.Count()),
              std::tuple(QStringList{"alpha", "beta", "gamma", "epsilon"}, 0, size_t{5}));
    ExpectOrderInvariant();
}

TEST_F(ToolPickerTest, KeyboardReachesEveryControlAndOpensTheMenus)
{
    CToolPickerDialog picker(data, prompter, dialogs, nullptr, executables.Locator());
    ASSERT_NO_FATAL_FAILURE(ShowActive(picker));
    const std::vector<QWidget*> order = {&picker.Groups(),     &picker.Available(),  &picker.AddButton(),
                                         &picker.RemoveButton(), &picker.UpButton(), &picker.DownButton(),
                                         &picker.Selected(),   &picker.PathButton()};
    picker.PathButton().setEnabled(true); // greyed buttons are skipped
    EXPECT_EQ(QApplication::focusWidget(), &picker.Groups());
    for (size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
    }

    // The menu key of a list opens its menu at the list's corner plus 5 pixels.
    picker.Selected().setFocus();
    picker.Selected().setCurrentRow(0);
    QTest::keyClick(&picker.Selected(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(picker.ToolMenu().isVisible());
    EXPECT_EQ(picker.ToolMenu().pos(), picker.Selected().mapToGlobal(QPoint(5, 5)));
    picker.ToolMenu().hide();
    OnModal<QDialog>([](QDialog& d) {
        EXPECT_EQ(d.windowTitle() + ": " + d.findChild<QPlainTextEdit*>()->toPlainText(), "description of alpha: alpha plays it");
        QTest::keyClick(&d, Qt::Key_Return);
    });
    picker.ToolMenu().actions().at(0)->trigger();
    picker.Groups().setFocus();
    QTest::keyClick(&picker.Groups(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(picker.GroupMenu().isVisible() && picker.GroupMenu().actions().at(0)->text() == "new?");
    picker.GroupMenu().hide();
}

// The Tools command opens the picker (the panes it is greyed in are the
// command rules').
class ToolsCommandTest : public CDesktopTest {};

TEST_F(ToolsCommandTest, OpensThePicker)
{
    CDesktopApp app(prompter, exit);
    CMainFrame& window = StartShown(app);
    window.ListView().setFocus();
    bool opened = false;
    OnModal<CToolPickerDialog>([&](CToolPickerDialog& picker) {
        opened = true;
        picker.reject();
    });
    window.ToolsAction()->trigger();
    EXPECT_TRUE(opened);
}

} // namespace
