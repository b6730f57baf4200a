#include "directory/ScopeDirectories.h"
#include "gui/SettingsSheet.h"
#include "gui/SettingsSheetDialogs.h"
#include "gui/SettingsSheetMonitoring.h"
#include "preview/qt/PreviewService.h"
#include "gui/SettingsSheetPages.h"
#include "gui/Splash.h"
#include "support/GuiTestSupport.h"

namespace {

// The Admin Scope dialog filled with one campus range under `name`, accepted.
int AcceptScope(QDialog& d, const char* name)
{
    auto& dialog = static_cast<CAdminScopeDialog&>(d);
    dialog.NameField().setText(name);
    dialog.BaseField().setText("239.193.4.0");
    dialog.PrefixField().setText("24");
    dialog.PortField().setText("9876");
    dialog.TtlField().setText("63");
    dialog.accept();
    return dialog.result();
}

// The group dialog filled with `name`, its key twice and `id`, accepted.
int AcceptGroup(QDialog& d, const char* name, const char* key, const char* id)
{
    auto& dialog = static_cast<CEncryptionGroupDialog&>(d);
    dialog.NameField().setText(name);
    dialog.KeyField().setText(key);
    dialog.KeyAgainField().setText(key);
    dialog.IdField().setText(id);
    dialog.accept();
    return dialog.result();
}

class SettingsSheetTest : public CDesktopTest {
protected:
    std::string IniPath() const { return qEnvironmentVariable("TALMIRA_SETTINGS").toStdString(); }
    // Fills the fields (a null text leaves a field as it is), presses Enter
    // and tells whether the dialog was accepted.
    static bool Confirm(QDialog& dialog, std::initializer_list<std::pair<QLineEdit*, const char*>> fields)
    {
        for (const auto& [field, text] : fields)
            if (text)
                field->setText(text);
        QTest::keyClick(&dialog, Qt::Key_Return);
        return dialog.result() == QDialog::Accepted;
    }
    // Confirms the shown dialog with the fields filled: accepted without a
    // word when `message` is null, else refused with that one message and
    // the focus in `focus`.
    void ExpectVerdict(QDialog& dialog, std::initializer_list<std::pair<QLineEdit*, const char*>> fields,
                       const char* message, QLineEdit* focus)
    {
        ShowActive(dialog);
        prompter.shown.clear();
        EXPECT_EQ(Confirm(dialog, fields), message == nullptr);
        EXPECT_EQ(prompter.shown, message ? std::vector<std::string>{message} : std::vector<std::string>{});
        EXPECT_TRUE(!message || (focus->hasFocus() && dialog.isVisible()));
    }
};

TEST_F(SettingsSheetTest, GroupDialogChecksInOrderAndFocusesTheField)
{
    enum Field { kName, kKey, kAgain, kId };
    struct Case {
        const char *name, *key, *again, *id;
        const char* message; // null: accepted
        Field focus;
    } const cases[] = {
        {"Lab", "secret-key", "secret-key", "9999", "Please enter an integer between 10000 and 2147483647.", kId},
        {"Lab", "secret-key", "secret-key", "", "Please enter an integer between 10000 and 2147483647.", kId},
        {"Lab", "short", "other", "10000", "Check that you entered twice the same key!", kAgain},
        {"Lab", "short", "short", "10000", "Choose a key with length between 8 and 256.", kKey},
        // Four characters of eight bytes are four characters, as the message counts.
        {"Lab", "\u00e9\u00e9\u00e9\u00e9", "\u00e9\u00e9\u00e9\u00e9", "10000", "Choose a key with length between 8 and 256.", kKey},
        {"Lab", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", "10000", nullptr, kName},
        {"", "secret-key", "secret-key", "10000", "Please provide a name for this group!", kName},
        {"Lab", "secret-key", "secret-key", "10000", nullptr, kName},
        {"Lab", "12345678", "12345678", "2147483647", nullptr, kName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " / " + c.id);
        CEncryptionGroupDialog dialog(CEncryptionGroup{}, prompter);
        EXPECT_EQ(dialog.IdField().text(), "0");
        QLineEdit* const fields[] = {&dialog.NameField(), &dialog.KeyField(), &dialog.KeyAgainField(),
                                     &dialog.IdField()};
        ExpectVerdict(dialog, {{fields[kName], c.name}, {fields[kKey], c.key}, {fields[kAgain], c.again},
                               {fields[kId], c.id}},
                      c.message, fields[c.focus]);
        if (!c.message) {
            EXPECT_EQ(std::tuple(dialog.Group().name, dialog.Group().key, std::to_string(dialog.Group().id)),
                      std::tuple(c.name, c.key, c.id));
        }
    }
    // Mnemonics reach the fields, Escape cancels.
    CEncryptionGroupDialog dialog(CEncryptionGroup{}, prompter);
    ShowActive(dialog);
    QTest::keyClick(&dialog, Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(dialog.KeyAgainField().hasFocus() && dialog.KeyField().echoMode() == QLineEdit::Password);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(SettingsSheetTest, ScopeDialogChecksRangesThenTheAddressAndFocusesTheField)
{
    enum Field { kName, kBase, kPrefix, kPort, kTtl };
    struct Case {
        const char *base, *prefix, *port, *ttl;
        const char* message;
        Field focus;
        const char* name = "Local";
    } const cases[] = {
        {"nonsense", "16", "1023", "15", "Please enter an integer between 1024 and 64536.", kPort},
        {"239.255.0.0", "16", "64537", "15", "Please enter an integer between 1024 and 64536.", kPort},
        {"239.255.0.0", "16", "65535", "15", "Please enter an integer between 1024 and 64536.", kPort},
        {"239.255.0.0", "33", "9875", "15", "Please enter an integer between 0 and 32.", kPrefix},
        {"239.255.0.0", "16", "9875", "0", "Please enter an integer between 1 and 255.", kTtl},
        {"239.255.0.0", "16", "9875", "256", "Please enter an integer between 1 and 255.", kTtl},
        {"239.255.0", "16", "9875", "15", "The base address you entered doesn't look like an IP address", kBase},
        {"10.1.0.0", "16", "9875", "15", "Please enter a Multicast IP address", kBase},
        {"240.0.0.0", "16", "9875", "15", "Please enter a Multicast IP address", kBase},
        {"239.255.0.0", "16", "64536", "15", nullptr, kName},
        {"224.0.0.0", "0", "1024", "255", nullptr, kName},
        {"239.255.0.0", "16", "9875", "15", CAdminScopeDialog::kTakenScopeNameText, kName, "Campus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.base) + " " + c.prefix + " " + c.port + " " + c.ttl);
        CAdminScopeDialog dialog(nullptr, prompter, nullptr, {"Campus"});
        QLineEdit* const fields[] = {&dialog.NameField(), &dialog.BaseField(), &dialog.PrefixField(),
                                     &dialog.PortField(), &dialog.TtlField()};
        ExpectVerdict(dialog, {{fields[kName], c.name}, {fields[kBase], c.base}, {fields[kPrefix], c.prefix},
                               {fields[kPort], c.port}, {fields[kTtl], c.ttl}},
                      c.message, fields[c.focus]);
        const CAdminScopeEntry s = dialog.Scope();
        if (!c.message) {
            EXPECT_EQ(std::tuple(s.name, s.baseAddress, std::to_string(s.port), std::to_string(s.ttl), std::to_string(s.prefixLength)),
                      std::tuple("Local", inet_addr(c.base), c.port, c.ttl, c.prefix));
        }
    }
}

TEST_F(SettingsSheetTest, ATypedScopeNameComesBackWholeFromTheSettingsFile)
{
    // The field takes as many characters as the file's 127 bytes hold,
    // whatever each character's size.
    for (const auto& [letter, fits] : {std::pair(QString("x"), 127), std::pair(QString("é"), 63),
                                       std::pair(QString("€"), 42), std::pair(QString("😀"), 31)}) {
        CAdminScopeDialog dialog(nullptr, prompter);
        ShowActive(dialog);
        dialog.NameField().setFocus();
        // Typed one key at a time, as a keyboard that has the letter would.
        for (int i = 0; i < 200; ++i) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, letter);
            QApplication::sendEvent(&dialog.NameField(), &press);
        }
        EXPECT_EQ(dialog.NameField().text(), letter.repeated(fits));
        EXPECT_EQ(QToolTip::text(), "At most 127 bytes (a letter with an accent takes two)"); // why it stopped
        ASSERT_TRUE(Confirm(dialog, {{&dialog.BaseField(), "239.255.0.0"}, {&dialog.PrefixField(), "16"},
                                     {&dialog.PortField(), "9875"}, {&dialog.TtlField(), "15"}}));
        CAppSettings written;
        written.name = written.email = written.phone = "x";
        written.scopes.Entries().push_back(dialog.Scope());
        CAppSettings read;
        {
            CQtSettingsStore ini(QString::fromStdString(IniPath()));
            WriteSettings(ini, prompter, written);
            ASSERT_TRUE(ReadSettings(ini, prompter, read));
        }
        ASSERT_EQ(read.scopes.Size(), 1u);
        EXPECT_TRUE(read.scopes.Entries()[0].name == dialog.Scope().name && prompter.shown.empty());
    }
    // A name of blanks makes no scope.
    CAdminScopeDialog blank(nullptr, prompter);
    ExpectVerdict(blank, {{&blank.NameField(), "  "}, {&blank.BaseField(), "239.255.0.0"}, {&blank.PrefixField(), "16"},
                          {&blank.PortField(), "9875"}, {&blank.TtlField(), "15"}},
                  CAdminScopeDialog::kEmptyScopeNameText, &blank.NameField());
}

TEST_F(SettingsSheetTest, PersonalPageIsLeftAndConfirmedOnlyComplete)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    const std::string before = ReadTestFile(IniPath());
    struct Case {
        const char *name, *email, *phone;
        bool byTab; // leaving the page, else OK
        int empty;  // the field that gets the focus
    } const cases[] = {
        {"Ada", "ada@example.org", "", false, 2},
        {"", "", "", false, 0},
        {"Ada", "", "123", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.empty);
        CSettingsSheet sheet(app.Runtime().Doc(), app.Runtime().Settings(), prompter);
        ShowActive(sheet);
        CPersonalPage& page = sheet.Personal();
        EXPECT_TRUE(page.NameField().text() == "Test User" && page.NameField().hasFocus());
        QLineEdit* const fields[] = {&page.NameField(), &page.EmailField(), &page.PhoneField()};
        for (int i = 0; i < 3; ++i)
            fields[i]->setText((&c.name)[i]);
        prompter.shown.clear();
        if (c.byTab)
            sheet.Pages().setCurrentIndex(2);
        else
            QTest::keyClick(&sheet, Qt::Key_Return);
        EXPECT_EQ(prompter.shown, std::vector<std::string>{"Please fill in ALL fields!"});
        EXPECT_TRUE(sheet.isVisible() && sheet.Pages().currentIndex() == 0 && fields[c.empty]->hasFocus());
        sheet.reject();
    }
    EXPECT_EQ(ReadTestFile(IniPath()), before);
}

TEST_F(SettingsSheetTest, OkStoresEverySectionAndAnAddedScopeListensAtOnce)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    CSessionStore& doc = app.Runtime().Doc();
    CAppSettings& settings = app.Runtime().Settings();
    settings.groups[5] = CEncryptionGroup{20000, "old-key-1", "Old"};

    CSettingsSheet sheet(doc, settings, prompter);
    ShowActive(sheet);
    sheet.Personal().PhoneField().setText("+32 2 555 99 99");
    CSecurityPage& security = sheet.Security();
    security.runDialog = [](QDialog& d) { return AcceptGroup(d, "Campus", "campus-key", "30000"); };
    sheet.Pages().setCurrentIndex(1);
    security.AddButton().click();
    EXPECT_EQ(settings.groups[0].name, "Campus"); // the first free entry, at once
    EXPECT_EQ(std::tuple(security.List().count(), security.List().itemText(1)), std::tuple(2, QString("Old")));

    CAdminScopePage& scopes = sheet.Scopes();
    scopes.runDialog = [](QDialog& d) { return AcceptScope(d, "Local"); };
    sheet.Pages().setCurrentIndex(2);
    scopes.AddButton().click();
    const auto directory = doc.MainList().FindById("12346");
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(std::tuple(directory->name, directory->sessionType, directory->links->directoryReceiver != nullptr,
                         scopes.List().currentText()),
              std::tuple("Local", kTypeScopeDirectory, true, QString("Local")));

    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_TRUE(!sheet.isVisible() && prompter.shown.empty() && doc.userPhone == "+32 2 555 99 99");

    CQtSettingsStore ini(QString::fromStdString(IniPath()));
    const std::tuple<const char*, const char*, const char*> texts[] = {
        {"User Info", "Name", "Test User"},
        {"User Info", "Phone", "+32 2 555 99 99"},
        {"Talmira/Security/Entry0", "Group", "Campus"},
        {"Talmira/Security/Entry0", "Key", "campus-key"},
        {"Talmira/Security/Entry0", "Id", "30000"},
        {"Talmira/Security/Entry1", "Group", "Old"},
        {"Talmira/AdminScope/Entry0", "Name", "Local"},
        {"Talmira/AdminScope/Entry0", "Base", "239.193.4.0"},
    };
    for (const auto& [key, name, value] : texts)
        EXPECT_EQ(ini.ReadText(key, name).value_or("-"), value) << key << "/" << name;
    for (const auto& [name, value] : {std::pair("Port", 9876u), std::pair("TTL", 63u), std::pair("Netmask", 24u)})
        EXPECT_EQ(ini.ReadNumber("Talmira/AdminScope/Entry0", name), value) << name;
    EXPECT_FALSE(ini.OpenKey("Talmira/Security/Entry2"));
}

TEST_F(SettingsSheetTest, CancelWritesNothingAndPutsGroupsScopesAndDirectoriesBack)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    CSessionStore& doc = app.Runtime().Doc();
    CAppSettings& settings = app.Runtime().Settings();
    settings.groups[0] = CEncryptionGroup{20000, "key-of-a-1", "A"};
    settings.groups[2] = CEncryptionGroup{20001, "key-of-b-1", "B"};
    AddScope(settings.scopes, CAdminScopeEntry{"Org", 31, 9875, inet_addr("239.192.0.0"), 14}, doc);
    AddScope(settings.scopes, CAdminScopeEntry{"Local", 15, 9875, inet_addr("239.255.0.0"), 16}, doc);
    const auto groupsBefore = settings.groups;
    const auto scopesBefore = settings.scopes.Entries();
    const auto org = doc.MainList().FindById("12346");
    const std::string iniBefore = ReadTestFile(IniPath());

    CSettingsSheet sheet(doc, settings, prompter);
    ShowActive(sheet);
    sheet.Personal().NameField().setText("Someone Else");
    CSecurityPage& security = sheet.Security();
    security.List().setCurrentIndex(1);
    security.DeleteButton().click();
    EXPECT_FALSE(settings.groups[2].InUse());
    security.runDialog = [](QDialog& d) { return AcceptGroup(d, "C", "key-of-a-1", "20000"); };
    security.EditButton().click();
    EXPECT_EQ(settings.groups[0].name, "C");

    // An edited scope renames its directory at once, a deleted one takes it
    // away (the mixes of scope commands Cancel takes back are the next test's).
    CAdminScopePage& scopes = sheet.Scopes();
    scopes.runDialog = [](QDialog& d) { return AcceptScope(d, "Campus"); };
    scopes.EditButton().click();
    EXPECT_EQ(org->name, "Campus");
    scopes.List().setCurrentIndex(1);
    scopes.DeleteButton().click();
    EXPECT_EQ(doc.MainList().FindById("12347"), nullptr);

    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(ReadTestFile(IniPath()), iniBefore);
    EXPECT_EQ(doc.userName, "Test User");
    for (int i = 0; i < CEncryptionGroups::kCount; ++i)
        EXPECT_EQ(std::tuple(settings.groups[i].id, settings.groups[i].name), std::tuple(groupsBefore[i].id, groupsBefore[i].name)) << i;
    EXPECT_EQ(settings.scopes.Entries(), scopesBefore);
    // Refreshed back: the same record and socket.
    EXPECT_TRUE(doc.MainList().FindById("12346") == org && org->name == "Org" && doc.MainList().FindById("12347"));
    EXPECT_TRUE(prompter.shown.empty());
}

// Cancel takes back any mix of the page's commands, whatever records they
// made or removed: the scopes, and one directory per scope, as before.
TEST_F(SettingsSheetTest, CancelAfterAnySequenceOfScopeCommandsLeavesNoOrphanDirectory)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    CSessionStore& doc = app.Runtime().Doc();
    CAppSettings& settings = app.Runtime().Settings();
    AddScope(settings.scopes, CAdminScopeEntry{"Org", 31, 9875, inet_addr("239.192.0.0"), 14}, doc);
    AddScope(settings.scopes, CAdminScopeEntry{"Local", 15, 9875, inet_addr("239.255.0.0"), 16}, doc);
    // A directory kept by the cache under the id the next added scope gets.
    doc.AddSession(MakeScopeDirectory(CAdminScopeEntry{"Old", 7, 9877, inet_addr("239.194.0.0"), 16}, "12348",
                                      doc.Environment()), nullptr);
    const auto state = [&doc] {
        std::vector<std::string> all;
        for (const auto& record : doc.MainList()) {
            std::string sdp;
            record->WriteSdp(sdp);
            all.push_back(sdp + " " + std::to_string(record->links->directoryGroup)
                          + (record->links->directoryReceiver ? " heard" : " unheard"));
        }
        std::sort(all.begin(), all.end());
        return all;
    };
    const auto scopesBefore = settings.scopes.Entries();
    const auto before = state();

    // A: add "New"; E: edit the selection into "Renamed"; D: delete it; a
    // digit selects that row (each command selects row 0 afterwards).
    // Org kept: the record is refreshed back, not made again.
    const std::pair<const char*, bool> sequences[] = {{"A2D", true},   {"0ED", false},  {"1E1D", true},
                                                      {"A2E2D", true}, {"0DA", false},  {"0E0E", true},
                                                      {"1DA1D", true}, {"0D0D", false}, {"A", true},
                                                      {"AE1D", true}};
    for (const auto& [sequence, orgKept] : sequences) {
        SCOPED_TRACE(sequence);
        const auto org = doc.MainList().FindById("12346");
        CSettingsSheet sheet(doc, settings, prompter);
        CAdminScopePage& page = sheet.Scopes();
        const char* name = "New";
        page.runDialog = [&name](QDialog& d) { return AcceptScope(d, name); };
        for (const char* c = sequence; *c; ++c) {
            if (*c >= '0' && *c <= '9')
                page.List().setCurrentIndex(*c - '0');
            name = *c == 'E' ? "Renamed" : "New";
            if (*c == 'A')
                page.AddButton().click();
            else if (*c == 'E')
                page.EditButton().click();
            else if (*c == 'D')
                page.DeleteButton().click();
        }
        sheet.reject();
        EXPECT_EQ(settings.scopes.Entries(), scopesBefore);
        EXPECT_EQ(state(), before);
        EXPECT_TRUE(!orgKept || doc.MainList().FindById("12346") == org);
        for (const CAdminScopeEntry& scope : settings.scopes.Entries())
            EXPECT_NE(FindScopeDirectory(doc, scope.name), nullptr) << scope.name;
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(SettingsSheetTest, PagesSayWhatTheyCannotDo)
{
    CDesktopApp app(prompter, exit, &clock);
    ASSERT_TRUE(app.Start(CCommandLine()));
    CAppSettings& settings = app.Runtime().Settings();
    CSettingsSheet sheet(app.Runtime().Doc(), settings, prompter);
    int dialogs = 0;
    sheet.Security().runDialog = [&dialogs](QDialog& d) {
        return ++dialogs, AcceptGroup(d, "Extra", "extra-key", "10000");
    };
    sheet.Scopes().runDialog = [&dialogs](QDialog& d) { return ++dialogs, AcceptScope(d, "Extra"); };

    // Nothing to edit or delete: no dialog, no change.
    sheet.Security().EditButton().click();
    sheet.Security().DeleteButton().click();
    sheet.Scopes().EditButton().click();
    EXPECT_TRUE(dialogs == 0 && prompter.shown.empty());
    sheet.Scopes().DeleteButton().click();
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Please select a scope entry"});

    for (int i = 0; i < CEncryptionGroups::kCount; ++i)
        settings.groups[i] = CEncryptionGroup{20000 + i, "key-number-" + std::to_string(i), std::to_string(i)};
    prompter.shown.clear();
    sheet.Security().AddButton().click();
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Unable to add group, please remove some unused groups"});
    EXPECT_TRUE(dialogs == 1 && settings.groups[CEncryptionGroups::kCount - 1].name == "99");

    // Ctrl+Tab turns the page, from the Security page's list of groups too.
    ShowActive(sheet);
    sheet.Pages().setCurrentIndex(1);
    sheet.Security().List().setFocus();
    QTest::keyClick(&sheet.Security().List(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(sheet.Pages().currentIndex(), 2);
}

TEST_F(SettingsSheetTest, MonitoringRefusesBadValuesAndTheProgramTakesTheRestAtOnce)
{
    struct Case {
        const char* urls;
        int low, high, decoders;
        const char* message; // null: accepted
    } const cases[] = {
        {"http://127.0.0.1:9/alarms\nftp://example.org/in", -30, -16, 4,
         "The webhook address ftp://example.org/in cannot be used: a webhook address is http://HOST[:PORT]/PATH or "
         "https://HOST[:PORT]/PATH."},
        {"", -10, -20, 4, "The loudness range is upside down: -10 LUFS is above -20 LUFS."},
        {" https://alarms.example.org/in\n\nhttp://127.0.0.1:9/a", -24, -14, 9, nullptr},
    };
    CDesktopApp app(prompter, exit, &clock);
    app.runSettings = [](CSettingsSheet&) { return int(QDialog::Rejected); };
    ASSERT_TRUE(app.Start(CCommandLine()));
    for (const Case& c : cases) {
        CSettingsSheet sheet(app.Runtime().Doc(), app.Runtime().Settings(), prompter);
        ShowActive(sheet);
        CMonitoringPage& page = sheet.Monitoring();
        sheet.Pages().setCurrentWidget(&page);
        QTest::keyClick(&sheet, Qt::Key_U, Qt::AltModifier);
        EXPECT_TRUE(page.LoudnessLowField().hasFocus());
        page.UrlsField().setPlainText(c.urls);
        page.LoudnessLowField().setValue(c.low);
        page.LoudnessHighField().setValue(c.high);
        page.DecodersField().setValue(c.decoders);
        sheet.Pages().setCurrentIndex(0);
        prompter.shown.clear();
        sheet.accept();
        EXPECT_EQ(prompter.shown, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        QWidget* wrong = c.low > c.high ? static_cast<QWidget*>(&page.LoudnessLowField()) : &page.UrlsField();
        EXPECT_TRUE(!c.message || (sheet.isVisible() && wrong->hasFocus()));
    }
    // The command's sheet closed, the program runs with what it stored.
    ShowActive(*app.Window());
    app.Window()->ListView().setFocus();
    app.Window()->CommandAction(ECommand::Settings)->trigger();
    const auto store = OpenSettingsStore();
    EXPECT_EQ(LoadWebhooks(*store).urls, (std::vector<std::string>{"https://alarms.example.org/in", "http://127.0.0.1:9/a"}));
    const CWatchThresholds kept = LoadThresholds(*store);
    EXPECT_EQ(std::tuple(kept.loudnessMin, kept.loudnessMax, app.Preview()->MaxDecoders()), std::tuple(-24.0, -14.0, 9));
}

TEST_F(SettingsSheetTest, MissingPersonalInformationIsAskedForOnceTheWindowIsUp)
{
    {
        CQtSettingsStore ini(QString::fromStdString(IniPath()));
        ASSERT_TRUE(ini.WriteText("User Info", "Email", ""));
    }
    CDesktopApp app(prompter, exit, &clock);
    int sheets = 0;
    app.runSettings = [&](CSettingsSheet& sheet) {
        ++sheets;
        EXPECT_EQ(sheet.windowTitle(), "Settings");
        EXPECT_EQ(sheet.Pages().tabText(0) + "|" + sheet.Pages().tabText(1) + "|" + sheet.Pages().tabText(2),
                  "Personal Information|Security|Administrative Scopes");
        EXPECT_EQ(sheet.Security().List().currentText(), "No groups available");
        sheet.Personal().EmailField().setText("user@example.org");
        sheet.accept();
        return sheet.result();
    };
    ASSERT_TRUE(app.Start(CCommandLine()));
    CMainFrame& window = *app.Window();
    ShowActive(window);
    // Nothing asks while the splash is up, however long; its going does.
    CSplash splash(60000);
    splash.Start();
    app.GreetWhenUp(&splash);
    QTest::qWait(300);
    EXPECT_TRUE(sheets == 0 && prompter.shown.empty());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(splash.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&sheets] { return sheets > 0; }, 3000));
    EXPECT_EQ(sheets, 1);
    EXPECT_EQ(prompter.shown, std::vector<std::string>{"Please fill in your personal information\nIt is used by some "
                                                       "application and is needed to make announcements."});
    EXPECT_EQ(app.Runtime().Doc().userEmail, "user@example.org");
    EXPECT_EQ(CQtSettingsStore(QString::fromStdString(IniPath())).ReadText("User Info", "Email"), "user@example.org");

    // The command opens the sheet, with no question this time (the tree
    // greying it is the command rules' and the tree menu test's).
    ShowActive(window);
    window.ListView().setFocus();
    window.CommandAction(ECommand::Settings)->trigger();
    EXPECT_TRUE(sheets == 2 && prompter.shown.size() == 1u);
}

} // namespace
