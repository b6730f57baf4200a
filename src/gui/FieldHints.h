#pragma once
#include <QString>

class QLineEdit;
class QWidget;

// A field that stops taking input at its limit says so: its tip names the
// limit, and a key it refuses shows the tip at the field.
void ShowLimitWhenFull(QLineEdit& field, const QString& limit);

// A dialog at least as wide as its caption needs beside the title bar's
// buttons, so that the caption is not cut.
void KeepCaptionWhole(QWidget& window);
