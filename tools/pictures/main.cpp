// talmira-pictures: draws the pictures of the desktop program that its
// documentation shows (`make screenshots`). A developer's tool, never
// installed: it starts the same program as `talmira` (settings, install
// directory, cache, window), opens one window or dialog the way a user
// would, saves it and ends.
#include "Pictures.h"

#include "app/CommandLine.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "gui/Artwork.h"
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
    "  settings FILE               the Settings sheet\n"
    "  tool-picker FILE            the Tool Picker\n"
    "  wizard-schedule FILE        the Announcement Wizard's schedule page\n"
    "  media-wizard FILE           the Media Wizard's format page\n"
    "  reception FILE SDP-FILE     the Reception page of that session after 20 s\n"
    "  reception-list FILE SDP-FILE  the list with that session and its Reception column after 8 s\n";

// The pictures that need a session file.
bool WantsSession(const QString& picture)
{
    return picture == "reception" || picture == "reception-list";
}
bool Known(const QString& picture)
{
    for (const char* name : {"documentation", "properties", "settings", "tool-picker", "wizard-schedule",
                             "media-wizard", "reception", "reception-list"})
        if (picture == QLatin1String(name))
            return true;
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || !Known(argv[1]) || argc != (WantsSession(argv[1]) ? 4 : 3)) {
        std::fputs(kUsage, argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Talmira");
    QApplication::setOrganizationName("TalmiraSoft");
    QApplication::setDesktopFileName("talmira");
    QApplication::setWindowIcon(artwork::ProgramIcon());
    const QString picture = QString::fromLocal8Bit(argv[1]);
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
    if (picture == "documentation")
        SaveDocumentationPictures(desktop, out);
    else if (picture == "properties")
        SavePropertiesPicture(desktop, prompter, out);
    else if (picture == "settings")
        SaveSettingsPicture(desktop, prompter, out);
    else if (picture == "tool-picker")
        SaveToolPickerPicture(desktop, prompter, out);
    else if (picture == "wizard-schedule")
        SaveWizardPicture(desktop, out);
    else if (picture == "media-wizard")
        SaveMediaWizardPicture(desktop, prompter, out);
    else if (picture == "reception")
        SaveReceptionPicture(desktop, prompter, out, session, 20);
    else
        SaveReceptionListPicture(desktop, out, session, 8);
    const int status = QApplication::exec();
    const bool closed = desktop.Close();
    return status != 0 ? status : (closed ? 0 : 1);
}
