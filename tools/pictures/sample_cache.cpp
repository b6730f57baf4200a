// Fills the store of a set-up install directory with a sample of folders
// and sessions of every type, some on now and some later, and writes the
// cache with the program's own writer. For pictures of the main window.
#include "app/CommandLine.h"
#include "app/ConsolePrompter.h"
#include "app/Settings.h"
#include "app/TalmiraRuntime.h"
#include "base/ProgramExit.h"
#include "directory/AdminScope.h"
#include "directory/SessionStore.h"
#include "sdp/SDPObject.h"
#include "Pictures.h"

#include <QCoreApplication>

#include <cstdio>
#include <ctime>

namespace {
constexpr int64_t kHour = 3600;

struct CSample {
    const char* name;
    const char* info;
    const char* type; // the type attribute; empty: none
    const char* media;
    int64_t startsIn; // seconds from now; 0: always on
    int64_t lasts;
};

const CSample kSessions[] = {
    {"Campus Radio", "Music and talk around the clock", "broadcast", "audio", 0, 0},
    {"Space Channel", "Launch coverage and briefings", "broadcast", "audio video", 0, 0},
    {"Weekly Group Meeting", "Networks research group, room 2.14", "meeting", "audio video whiteboard", -kHour, 3 * kHour},
    {"Multicast Test Tone", "1 kHz tone for receiver checks", "test", "audio", 0, 0},
    {"Standards Plenary", "Open plenary session with audio and slides", "broadcast", "audio video text", 2 * 86400, 3 * kHour},
    {"Lecture: Distributed Systems", "Course CS 4120, week 7", "moderated", "audio video", 3 * kHour, 2 * kHour},
    {"H.332 Panel", "Panel discussion with floor control", "H332", "audio video", 5 * kHour, kHour},
    {"Jazz Night", "Live from the student union", "broadcast", "audio", 6 * 86400, 4 * kHour},
    {"Seminar: Routing Security", "Guest talk and questions", "meeting", "audio video", -2 * kHour, 4 * kHour},
    {"Earth Camera", "Rooftop camera, 1 frame per second", "", "video", 0, 0},
    {"Chess Club", "Weekly tournament commentary", "meeting", "audio", 10 * 86400, 2 * kHour},
    {"Ocean Buoy Data", "Live sensor readings", "test", "data", 0, 0},
    {"Library Talk", "Authors read from new books", "moderated", "audio", 20 * 86400, kHour},
    {"Tools Demo", "Shared editor and whiteboard", "", "text whiteboard", -kHour, 2 * kHour},
    {"Orchestra Rehearsal", "Full rehearsal, stereo audio", "broadcast", "audio video", 27 * kHour, 3 * kHour},
    {"Board Meeting", "Quarterly board meeting", "meeting", "audio video", 14 * 86400, 2 * kHour},
};
const CSample kFolderSessions[] = {
    {"Physics Colloquium", "Dark matter searches", "moderated", "audio video", 0, 0},
    {"Lab Camera 1", "Clean room", "", "video", 0, 0},
    {"Lab Camera 2", "Assembly hall", "", "video", kHour, 8 * kHour},
    {"Thesis Defence", "Public defence, main auditorium", "meeting", "audio video", 4 * 86400, 2 * kHour},
    {"Students' Radio", "Evening programme", "broadcast", "audio", 0, 0},
    {"Chemistry Seminar", "Catalysis", "meeting", "audio video whiteboard", 2 * kHour, kHour},
};

std::string SessionText(const CSample& s, int id, int64_t now)
{
    std::string t = "v=0\no=sample " + std::to_string(1000 + id) + " 1 IN IP4 192.0.2.10\ns=" + s.name +
                    "\ni=" + s.info + "\nc=IN IP4 239.255." + std::to_string(10 + id) + ".1/127\n";
    if (s.startsIn == 0 && s.lasts == 0)
        t += "t=0 0\n";
    else
        t += "t=" + std::to_string(now + s.startsIn + kNtpUnixOffset) + " " +
             std::to_string(now + s.startsIn + s.lasts + kNtpUnixOffset) + "\n";
    if (*s.type)
        t += std::string("a=type:") + s.type + "\n";
    std::string media = s.media;
    for (size_t at = 0; at < media.size();) {
        size_t end = media.find(' ', at);
        if (end == std::string::npos)
            end = media.size();
        t += "m=" + media.substr(at, end - at) + " " + std::to_string(50000 + 2 * id) + " RTP/AVP 96\n";
        at = end + 1;
    }
    return t;
}

std::string FolderText(const char* name, int id)
{
    return "v=0\no=sample " + std::to_string(9000 + id) + " 1 IN IP4 192.0.2.10\ns=" + name +
           "\nc=IN IP4 239.195.1." + std::to_string(id) + "/15\nt=0 0\nm=directory 9875 SAP/SDP 14\n";
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CStderrPrompter prompter;
    CProcessExit exit;
    // Pictures show a set-up program: it would ask for these otherwise.
    {
        const auto store = OpenSettingsStore();
        const std::pair<const char*, const char*> personal[] = {
            {"Name", "Ada Example"}, {"Email", "ada@example.org"}, {"Phone", "+32 2 555 01 23"}};
        for (const auto& [name, value] : personal)
            if (store->ReadText("User Info", name).value_or("").empty())
                store->WriteText("User Info", name, value);
    }
    CTalmiraRuntime runtime({prompter, exit});
    if (!runtime.Start(CCommandLine()))
        return 1;
    CSessionStore& doc = runtime.Doc();
    const auto scope = doc.MainList().Empty() ? nullptr : doc.MainList().At(0);
    const int64_t now = std::time(nullptr);
    const auto add = [&](const std::string& text, const std::shared_ptr<CSDPObject>& dir) {
        auto record = CSDPObject::FromText(text, runtime.Environment());
        if (!record || doc.AddSession(record, dir) < 0) {
            std::fprintf(stderr, "sample: not added: %s\n", text.c_str());
            return std::shared_ptr<CSDPObject>();
        }
        return record;
    };
    int id = 0;
    for (const CSample& s : kSessions)
        add(SessionText(s, ++id, now), scope);
    // A studio session: the pictures show its clock and the remarks on it
    // (the clock at session level only for the 2110 audio, no sender type
    // for the video).
    add(std::string("v=0\no=sample 1100 1 IN IP4 192.0.2.20\ns=") + kStudioSessionName +
            "\ni=Stage inputs 1-8 and the stage camera\nc=IN IP4 239.69.1.1/32\nt=0 0\na=type:broadcast\n"
            "a=ts-refclk:ptp=IEEE1588-2008:00-1D-C1-FF-FE-12-34-56:0\na=mediaclk:direct=0\n"
            "m=audio 5004 RTP/AVP 98\na=rtpmap:98 L24/48000/8\na=fmtp:98 channel-order=SMPTE2110.(SGRP,SGRP)\n"
            "a=ptime:0.125\nm=video 5006 RTP/AVP 96\nc=IN IP4 239.69.1.2/32\na=rtpmap:96 raw/90000\n"
            "a=fmtp:96 sampling=YCbCr-4:2:2; width=1920; height=1080; exactframerate=50; depth=10; TCS=SDR; "
            "colorimetry=BT709; PM=2110GPM; SSN=ST2110-20:2017\n"
            "a=ts-refclk:ptp=IEEE1588-2008:00-1D-C1-FF-FE-12-34-56:0\na=mediaclk:direct=0\n",
        scope);
    const auto university = add(FolderText("University", 1), scope);
    add(FolderText("Radio Stations", 2), scope);
    const auto labs = add(FolderText("Laboratories", 3), university);
    for (const CSample& s : kFolderSessions) {
        ++id;
        add(SessionText(s, id, now), id % 2 ? university : labs);
    }
    // Studio streams for View > Clocks: the two stageboxes follow the studio
    // session's grandmaster, which the pictures script announces; the
    // mixer names another of the same domain.
    const std::pair<const char*, const char*> studio[] = {
        {"Stagebox 1 Inputs", "00-1D-C1-FF-FE-12-34-56"},
        {"Stagebox 2 Inputs", "00-1D-C1-FF-FE-12-34-56"},
        {"Mixer Return", "00-1D-C1-FF-FE-0B-33-44"},
    };
    for (const auto& [name, gmid] : studio)
        add(std::string("v=0\no=sample ") + std::to_string(8000 + ++id) + " 1 IN IP4 192.0.2.20\ns=" + name +
                "\nc=IN IP4 239.69.1." + std::to_string(id) + "/32\nt=0 0\nm=audio 5004 RTP/AVP 96\n" +
                "a=rtpmap:96 L24/48000/8\na=ptime:0.125\na=ts-refclk:ptp=IEEE1588-2008:" + gmid + ":0\n" +
                "a=mediaclk:direct=0\n",
            labs);
    // Where this host has IPv6, a few sessions on the IPv6 SAP groups.
    const struct {
        const char* directory;
        const char* name;
        const char* info;
        const char* group;
    } ipv6[] = {
        {"IPv6 Global", "Research Network TV", "Talks from the research network, IPv6 only", "ff0e::db8:1"},
        {"IPv6 Global", "Observatory Live", "Telescope control room, audio and video", "ff1e::7:42/2"},
        {"IPv6 Site", "Studio B Monitor", "AES67 programme feed, 48 kHz", "ff15::1:2"},
    };
    for (const auto& s : ipv6) {
        if (const auto dir = FindScopeDirectory(doc, s.directory))
            add(std::string("v=0\no=sample ") + std::to_string(7000 + ++id) + " 1 IN IP6 2001:db8::10\ns=" + s.name
                    + "\ni=" + s.info + "\nc=IN IP6 " + s.group + "\nt=0 0\na=type:broadcast\nm=audio 5004 RTP/AVP 96\n"
                    + "a=rtpmap:96 L24/48000/2\nm=video 5006 RTP/AVP 96\n",
                dir);
    }
    return runtime.Close() ? 0 : 1;
}
