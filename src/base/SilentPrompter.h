#pragma once
#include "base/Prompter.h"

// Answers every message with its first button and shows nothing: for work
// that runs with nobody to read messages (inspection, benchmarks, fuzzing).
class CSilentPrompter final : public Prompter {
public:
    EPromptAnswer Show(const std::string&, EPromptButtons buttons, EPromptIcon, const std::string&) override
    {
        return buttons == EPromptButtons::Ok || buttons == EPromptButtons::OkCancel ? EPromptAnswer::Ok
                                                                                    : EPromptAnswer::Yes;
    }
};
