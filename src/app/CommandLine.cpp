#include "app/CommandLine.h"

#include "base/Text.h"
#include "tools/OnlineRequests.h"

void CCommandLine::ParseParam(const std::string& param, bool isFlag)
{
    if (isFlag) {
        if (param == "t")
            numberGiven = true;
        else if (param == "C")
            textGiven = true;
        else if (param == "f")
            sessionFileGiven = true;
        return;
    }
    // The number has no "still empty" state of its own: it is pending until
    // a value came.
    if (numberGiven && !m_numberTaken) {
        number = text::ToInt32(param);
        m_numberTaken = true;
    } else if (textGiven && text.empty()) {
        text = param;
    } else if (sessionFileGiven && sessionFile.empty()) {
        sessionFile = param;
    } else if (const size_t slash = param.find('/'); slash != std::string::npos) {
        address = param.substr(0, slash);
        addressNumber = text::ToInt32(std::string_view(param).substr(slash + 1));
    }
}

bool CCommandLine::IsFlag(const std::string& arg)
{
#ifdef _WIN32
    return !arg.empty() && (arg[0] == '-' || arg[0] == '/');
#else
    // Here a leading slash starts an absolute path, not a flag.
    return !arg.empty() && arg[0] == '-';
#endif
}

void CCommandLine::ParseCommandLine(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        const bool isFlag = IsFlag(arg);
        ParseParam(isFlag ? arg.substr(1) : arg, isFlag);
    }
}

CCommandLine::EInfoRequest CCommandLine::InfoRequest(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--version")
            return EInfoRequest::Version;
        if (arg == "--help")
            return EInfoRequest::Help;
    }
    return EInfoRequest::None;
}

std::string CCommandLine::VersionLine()
{
    return std::string("talmira ") + kProgramVersion + "\n";
}

std::string CCommandLine::Usage()
{
    return "usage: talmira [-nologo] [-f SESSION-FILE] [-t NUMBER] [-C TEXT] [ADDRESS/NUMBER]\n"
           "\n"
           "The session directory for IP multicast: hears SAP announcements, lists their\n"
           "sessions, starts the tools that join them and announces your own.\n"
           "\n"
           "options:\n"
           "  -nologo            start without the splash picture\n"
           "  -f SESSION-FILE    show the session of this SDP file instead of the cache\n"
           "                     (the cache is then not written at exit)\n"
           "  -t NUMBER, -C TEXT, ADDRESS/NUMBER\n"
           "                     read and kept for compatibility; no effect\n"
           "  --help             print this help and exit\n"
           "  --version          print the version and exit\n";
}
