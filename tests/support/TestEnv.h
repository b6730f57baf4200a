#pragma once
#include "base/Clock.h"
#include "base/Random.h"
#include "sdp/SDPObject.h"
#include "sdp/UsedAddresses.h"

#include <fstream>
#include <iterator>
#include <string>

// A controlled clock, scripted draws and a private used-address list.
struct CTestEnv {
    CManualClock clock{1700000000};
    CScriptedRandom random{7};
    CUsedAddressList used;
    CSdpEnvironment env{clock, random, &used};

    std::shared_ptr<CSDPObject> Parse(std::string_view text) { return CSDPObject::FromText(text, env); }
};

// The record's text as the writer gives it.
inline std::string WrittenSdp(CSDPObject& r)
{
    std::string out;
    r.WriteSdp(out);
    return out;
}

inline std::string ReadTestFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
