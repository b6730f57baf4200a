#pragma once
#include <memory>

class CSDPObject;

// Starts the media tools of a session: media index -1 = every media entry,
// tool index 0 = the first tool in the user's order. The session store calls
// it for sessions marked to start automatically; the tools layer implements it.
class ToolStarter {
public:
    virtual ~ToolStarter() = default;
    virtual void StartTools(const std::shared_ptr<CSDPObject>& session, int mediaIndex, int toolIndex) = 0;
};
