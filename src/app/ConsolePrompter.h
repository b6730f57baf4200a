#pragma once
#include "base/Prompter.h"

#include <cstdio>

// Messages of a program without windows: one line on stderr each; questions
// take their first answer (OK / Yes) since nobody is there to ask.
class CStderrPrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string& text, EPromptButtons buttons, EPromptIcon, const std::string&) override
    {
        std::fprintf(stderr, "talmira-cli: %s\n", text.c_str());
        std::fflush(stderr);
        return buttons == EPromptButtons::Ok || buttons == EPromptButtons::OkCancel ? EPromptAnswer::Ok
                                                                                    : EPromptAnswer::Yes;
    }
};
