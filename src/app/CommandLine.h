#pragma once
#include <string>
#include <vector>

// The program's command line: the flags t (a number), C (a text) and f (a
// session file), each taking the first plain argument that follows, and an
// argument holding "/" read as address/number. Flags begin with '-' (and on
// Windows also '/'); their names are compared case-sensitively. Only the session file has an
// effect: the store then shows that one session instead of the cache.
class CCommandLine {
public:
    int number = 0;
    bool numberGiven = false;
    std::string text;
    bool textGiven = false;
    std::string sessionFile;
    bool sessionFileGiven = false;
    std::string address;
    int addressNumber = 0;

    // One argument; a flag without its leading '-' or '/'.
    void ParseParam(const std::string& param, bool isFlag);
    static bool IsFlag(const std::string& arg);
    // Every argument after the program name.
    void ParseCommandLine(const std::vector<std::string>& args);

    // --version and --help, wherever they stand (the first one counts):
    // answered before the program needs a display.
    enum class EInfoRequest { None, Version, Help };
    static EInfoRequest InfoRequest(const std::vector<std::string>& args);
    // "talmira <version>" with its line end; the version is the build's.
    static std::string VersionLine();
    // What `talmira --help` prints.
    static std::string Usage();

private:
    bool m_numberTaken = false;
};
