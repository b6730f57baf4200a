#pragma once
#include <QString>

class CDesktopApp;
class Prompter;

// The pictures of the desktop program its documentation shows. Each opens
// its window or dialog over the started program the way a user would, saves
// it as PNG once it is painted, and closes the main window the normal way,
// which ends the program.

// The main window (the first scope's sessions, every folder open), the tray
// icon's menu, the splash and the About box, into `folder`.
void SaveDocumentationPictures(CDesktopApp& desktop, const QString& folder);
// The property sheet of the first heard session with two media entries, on
// its first media page.
void SavePropertiesPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file);
// The Settings sheet as it opens.
void SaveSettingsPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file);
// The Tool Picker with both tool lists in use.
void SaveToolPickerPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file);
// A new weekly session's "Session Schedule" page in the Announcement Wizard.
void SaveWizardPicture(CDesktopApp& desktop, const QString& file);
// The Media Wizard over a new entry of a new session, on its format page.
void SaveMediaWizardPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file);
// The Reception page of the session in `sdpFile` after `seconds` of watching.
void SaveReceptionPicture(CDesktopApp& desktop, Prompter& prompter, const QString& file, const QString& sdpFile,
                          int seconds);
// The main window with the session in `sdpFile` heard in the first scope,
// its row current and the Reception column shown, after `seconds`.
void SaveReceptionListPicture(CDesktopApp& desktop, const QString& file, const QString& sdpFile, int seconds);
