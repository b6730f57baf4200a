#pragma once
#include "base/Prompter.h"

class QWidget;

// The program's messages as message boxes, over the main window once it
// exists. The caption is the program's name unless the caller gives one.
class CGuiPrompter final : public Prompter {
public:
    void SetParent(QWidget* parent) { m_parent = parent; }
    EPromptAnswer Show(const std::string& text, EPromptButtons buttons, EPromptIcon icon,
                       const std::string& caption) override;

private:
    QWidget* m_parent = nullptr;
};
