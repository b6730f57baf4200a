#pragma once
#include "base/Prompter.h"

#include <deque>
#include <string>
#include <vector>

// Records every text shown and answers from a script (then with the default).
class CFakePrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string& text, EPromptButtons buttons, EPromptIcon, const std::string&) override
    {
        shown.push_back(text);
        if (!answers.empty()) {
            EPromptAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == EPromptButtons::YesNo || buttons == EPromptButtons::YesNoCancel ? EPromptAnswer::Yes
                                                                                         : EPromptAnswer::Ok;
    }
    std::vector<std::string> shown;
    std::deque<EPromptAnswer> answers;
};
