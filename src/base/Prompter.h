#pragma once
#include <string>

// Message boxes and questions with the program's fixed texts. The GUI shows
// a QMessageBox, the command line writes to stderr (and reads the answer
// where one is needed), tests script the answers and record every text.
enum class EPromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class EPromptAnswer { Ok, Cancel, Yes, No };
enum class EPromptIcon { Information, Warning, Error, Question };

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual EPromptAnswer Show(const std::string& text, EPromptButtons buttons = EPromptButtons::Ok,
                               EPromptIcon icon = EPromptIcon::Information, const std::string& caption = {}) = 0;
};
