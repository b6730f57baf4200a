// talmira-pictures: draws the pictures of the desktop program that its
// documentation shows (`make screenshots`). A developer's tool, never
// installed: it starts the same program as `talmira` (settings, install
// directory, cache, window), opens one window or dialog the way a user
// would, saves it and ends.
#include "Pictures.h"

#include "app/CommandLine.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "gui/DesktopApp.h"
#include "gui/GuiPrompter.h"
#include "gui/MainFrame.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kUsage =
    "usage: talmira-pictures PICTURE OUT [SESSION-FILE]\n"
    "  documentation FOLDER        main-window, tray-menu, splash and about.png in FOLDER\n"
    "  properties FILE             a heard session's property sheet, on a media page\n"
    "  studio FILE                 the studio session's Info page with its Clock section\n"
    "  settings FILE               the Settings sheet\n"
    "  settings-monitoring FILE    the Settings sheet's Monitoring page\n"
    "  alarms FILE SDP-FILE        View > Alarms with that session watched, after 14 s\n"
    "  tool-picker FILE            the Tool Picker\n"
    "  wizard-schedule FILE        the Announcement Wizard's schedule page\n"
    "  media-wizard FILE           the Media Wizard's format page\n"
    "  reception FILE SDP-FILE     the Reception page of that session after 20 s\n"
    "  reception-preview FILE SDP-FILE  the same with its picture and meters after 12 s\n"
    "  reception-list FILE SDP-FILE  the list with that session and its Reception column after 8 s\n"
    "  clocks FILE                 View > Clocks after 7 s of listening\n"
    "  mosaic FILE SDP-FOLDER      View > Mosaic over the sessions of the folder's SDP files after 16 s\n";

// Each picture by its name, and whether it needs a session file.
struct CPicture {
    const char* name;
    bool wantsSession;
    SavePicture* save;
};
const CPicture kPictures[] = {
    {"documentation", false, SaveDocumentationPictures}, {"properties", false, SavePropertiesPicture},
    {"studio", false, SaveStudioPicture},
    {"settings", false, SaveSettingsPicture},            {"tool-picker", false, SaveToolPickerPicture},
    {"settings-monitoring", false, SaveMonitoringPicture}, {"alarms", true, SaveAlarmsPicture},
    {"wizard-schedule", false, SaveWizardPicture},       {"media-wizard", false, SaveMediaWizardPicture},
    {"reception", true, SaveReceptionPicture},           {"reception-list", true, SaveReceptionListPicture},
    {"reception-preview", true, SaveReceptionPreviewPicture},
    {"clocks", false, SaveClocksPicture},
    {"mosaic", true, SaveMosaicPicture},
};
const CPicture* Find(const char* name)
{
    for (const CPicture& picture : kPictures)
        if (std::strcmp(picture.name, name) == 0)
            return &picture;
    return nullptr;
}
} // namespace

int main(int argc, char** argv)
{
    const CPicture* picture = argc >= 3 ? Find(argv[1]) : nullptr;
    if (!picture || argc != (picture->wantsSession ? 4 : 3)) {
        std::fputs(kUsage, argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    QApplication app(argc, argv);
    CDesktopApp::IdentifyApplication();
    const QString out = QString::fromLocal8Bit(argv[2]);
    const QString session = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    CGuiPrompter prompter;
    CProcessExit exit;
    CDesktopApp desktop(prompter, exit);
    if (!desktop.Start(CCommandLine())) {
        const std::string why = desktop.Runtime().Guard().Explanation();
        std::fprintf(stderr, "talmira-pictures: the program did not start%s%s\n", why.empty() ? "" : ": ",
                     why.c_str());
        return 1;
    }
    CMainFrame& window = *desktop.Window();
    prompter.SetParent(&window);
    QuitEventLoopOnSignals();
    // No splash: it has a picture of its own.
    window.show();
    desktop.GreetWhenUp();
    picture->save(desktop, prompter, out, session);
    const int status = QApplication::exec();
    const bool closed = desktop.Close();
    return status != 0 ? status : (closed ? 0 : 1);
}
