#include "gui/GuiPrompter.h"

#include "app/TalmiraRuntime.h"

#include <QMessageBox>

#include <cstdio>

EPromptAnswer CGuiPrompter::Show(const std::string& text, EPromptButtons buttons, EPromptIcon icon,
                                 const std::string& caption)
{
    // Once a signal ends the program nobody is there to read a box: what it
    // would say goes to the terminal.
    if (QuitSignalled()) {
        std::fprintf(stderr, "talmira: %s\n", text.c_str());
        return buttons == EPromptButtons::Ok || buttons == EPromptButtons::OkCancel ? EPromptAnswer::Ok
                                                                                    : EPromptAnswer::Cancel;
    }
    QMessageBox box(m_parent);
    box.setWindowTitle(caption.empty() ? QStringLiteral("Talmira") : QString::fromUtf8(caption));
    // Our texts carry line breaks of their own, so they are not flattened
    // like a row text.
    box.setText(QString::fromUtf8(text));
    switch (icon) {
    case EPromptIcon::Information: box.setIcon(QMessageBox::Information); break;
    case EPromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case EPromptIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case EPromptIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case EPromptButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case EPromptButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case EPromptButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case EPromptButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return EPromptAnswer::Yes;
    case QMessageBox::No: return EPromptAnswer::No;
    case QMessageBox::Cancel: return EPromptAnswer::Cancel;
    default: return buttons == EPromptButtons::Ok || buttons == EPromptButtons::OkCancel ? EPromptAnswer::Ok
                                                                                       : EPromptAnswer::Cancel;
    }
}
