#pragma once

// Ends the program at once with a status (a corrupt settings entry or cache
// file ends it with -1). Tests record the call instead; code after a call
// must therefore still leave everything in a sane state.
class ProgramExit {
public:
    virtual ~ProgramExit() = default;
    virtual void Exit(int status) = 0;
};

class CProcessExit final : public ProgramExit {
public:
    void Exit(int status) override;
};
