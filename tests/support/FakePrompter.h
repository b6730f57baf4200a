#pragma once
#include "base/Prompter.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Records every text shown and answers from a script (then with the default).
class CFakePrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string& text, EPromptButtons buttons, EPromptIcon, const std::string&) override
    {
        shown.push_back(text);
        if (onShow)
            onShow();
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
    std::function<void()> onShow; // called as each text is shown
};
