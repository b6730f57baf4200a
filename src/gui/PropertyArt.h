#pragma once
#include <QIcon>
#include <QPixmap>
#include <QString>

// The pictures of the property sheets, drawn here rather than loaded, so
// they cannot go missing.
enum class EPageIcon { Info, Contact, Schedule, Key, Audio, Video, Text, Whiteboard, Folder, AdminScope, Media };

QIcon PageIcon(EPageIcon kind);
// A short stable name of each icon ("info", "audio", ...), for tests and
// accessibility.
QString PageIconName(EPageIcon kind);

// The Info page's picture for a session type: test, broadcast, meeting,
// H332, moderated; anything else (unknown, directories) gets the globe.
QPixmap SessionPicture(int sessionType);
QString SessionPictureName(int sessionType);
