#pragma once
#include "base/ProcessStarter.h"

#include <QtGlobal>

// Starts tools with QProcess::startDetached: the program and its argument
// list go to the new process as they are, never through a shell.
class CQtProcessStarter final : public ProcessStarter {
public:
    bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workingDirectory) override;
    // The process id of the last started process (0 when it failed).
    qint64 LastProcessId() const { return m_lastPid; }

private:
    qint64 m_lastPid = 0;
};
