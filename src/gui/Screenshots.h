#pragma once
#include <QString>

class CMainFrame;

// Pictures of the program for its documentation: the main window (the first
// scope's sessions, every folder open), the tray icon's menu, the splash and
// the About box, written as PNG files into a folder. The window is closed
// the normal way once they are written.
void TakeScreenshots(CMainFrame& window, const QString& folder);
// Just the main window, into one file.
void TakeWindowScreenshot(CMainFrame& window, const QString& file);
