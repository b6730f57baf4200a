#pragma once
#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's own pictures: the emblem, the toolbar icons and the product
// picture of the splash and the About box, all drawn from the SVG files
// compiled into the program.
namespace artwork {

// A toolbar icon by its file name without ".svg" ("clear", "today", ...);
// an empty icon for an unknown name.
QIcon ToolbarIcon(const QString& name);
// The emblem, as the window and tray icon.
QIcon ProgramIcon();
// The emblem, the name and the version on a dark backdrop, for a screen of
// the given pixel ratio.
QPixmap ProductPicture(qreal pixelRatio = 1.0);

} // namespace artwork
