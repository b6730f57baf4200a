#pragma once
#include <string>
#include <vector>

// Starts a program without waiting for it: the program path, the arguments
// that follow it (never parsed by a shell) and the working directory.
// Returns whether the process could be started.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    virtual bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                               const std::string& workingDirectory) = 0;
};
