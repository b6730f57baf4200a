#pragma once
#include <QString>

#include <functional>

class CTalmiraRuntime;
class Prompter;
class QWidget;

// Shows the Media Wizard over a new entry of a new session in the TTL
// Scope on its format page, saves a picture of it once painted, then calls
// `done`.
void ScreenshotMediaWizard(CTalmiraRuntime& runtime, Prompter& prompter, QWidget* window, const QString& file,
                           std::function<void()> done);
