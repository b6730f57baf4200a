#pragma once
#include <QString>

class CDesktopApp;
class Prompter;

// The pictures of the desktop program its documentation shows. Each opens
// its window or dialog over the started program the way a user would, saves
// it as PNG once it is painted, and closes the main window the normal way,
// which ends the program.

// Every picture is taken by one function of this shape: `out` is the file
// (the folder for the documentation's set), `session` the session file of
// the pictures that show one.
using SavePicture = void(CDesktopApp& desktop, Prompter& prompter, const QString& out, const QString& session);

// The main window (the first scope's sessions, every folder open), the tray
// icon's menu, the splash and the About box, into `out`.
SavePicture SaveDocumentationPictures;
// The property sheet of the first heard session with two media entries, on
// its first media page.
SavePicture SavePropertiesPicture;
// The sample cache's studio session (kStudioSessionName) on its Info page,
// with the Clock section and its remarks.
SavePicture SaveStudioPicture;
inline constexpr const char* kStudioSessionName = "Stage Box 1";
// The Settings sheet as it opens.
SavePicture SaveSettingsPicture;
// The Settings sheet on its Monitoring page, two webhooks filled in.
SavePicture SaveMonitoringPicture;
// View > Alarms with the session of the SDP file watched from its row, its
// backup leg lost after 6 s (the senders' doing), after 14 s.
SavePicture SaveAlarmsPicture;
// The Tool Picker with both tool lists in use.
SavePicture SaveToolPickerPicture;
// A new weekly session's "Session Schedule" page in the Announcement Wizard.
SavePicture SaveWizardPicture;
// The Media Wizard over a new entry of a new session, on its format page.
SavePicture SaveMediaWizardPicture;
// The Reception page of the session after 20 s of watching.
SavePicture SaveReceptionPicture;
// The same with the picture and the sound's meters, after 12 s.
SavePicture SaveReceptionPreviewPicture;
// The main window with the session heard in the first scope, its row
// current and the Reception column shown, after 8 s.
SavePicture SaveReceptionListPicture;
// View > Mosaic over the sessions of every SDP file in the folder given,
// their senders playing, after 16 s.
SavePicture SaveMosaicPicture;
// View > Clocks over the sample's studio streams, after 7 s of listening.
SavePicture SaveClocksPicture;
