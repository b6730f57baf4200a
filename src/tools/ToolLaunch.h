#pragma once
#include "tools/Plugin.h"
#include "tools/ToolRegistry.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CSDPObject;
struct CSDPMedia;

// One prepared start of one tool for one media entry.
struct CToolLaunch {
    std::shared_ptr<CPlugin> plugin;
    std::string path;                   // empty when the executable was not found
    std::vector<std::string> arguments; // UTF-8 words; the executable's path is the last when found
    // Per argument: where the plug-in's own "$(SDPFILE)" sits (npos: none).
    // A "$(SDPFILE)" that a macro value brought in is text, not a request.
    std::vector<size_t> sdpFileAt;
    std::string formatName;             // display name of the plug-in format that matched
    const CPluginFormat* format = nullptr; // that format, owned by `plugin`
};

// Finds an executable by a path or a bare name; empty when there is none.
using ExecutableLocator = std::function<std::string(const std::string&)>;

// The platform's executable search: an absolute path is checked as it is;
// a bare name is looked for in the program's folder and the folders of PATH,
// never in the current folder (any folder we are started from could plant a
// tool there). A relative path is not found. Only executable regular files count.
std::string SearchExecutable(const std::string& name);
std::string SearchExecutableIn(const std::string& name, const std::vector<std::string>& folders);

// The fixed address behind "$(YOUREMAIL)".
inline constexpr const char* kToolContactEmail = "talmira@localhost";
inline constexpr size_t kMaxCommandPart = 1023;
inline constexpr size_t kMaxFormatList = 127;
inline constexpr const char* kSdpFileMacro = "$(SDPFILE)";

// Splits a command-line part into words: blanks separate, double quotes
// group (and are dropped). Macros are expanded inside the words afterwards,
// so nothing a macro puts in can add, split or quote arguments.
std::vector<std::string> SplitCommandWords(std::string_view part);

// A macro text ("$(NAME)") and its value.
struct CMacroValue {
    std::string macro;
    std::string value;
};

// Expands one command-line part into `launch`'s arguments: each macro, in
// order, has its first occurrence in the part's own text replaced. Values
// are never scanned again, so text from the network cannot call a macro.
// Words and values become UTF-8 (AsUtf8), so the argv a tool receives and
// the listing show the same text.
void AppendExpandedPart(std::string_view part, const std::vector<CMacroValue>& macros, CToolLaunch& launch);

// The command line of plug-in `plugin`, format `format`, for media entry `media`.
void ExpandToolCommand(const CSDPObject& session, const std::shared_ptr<CPlugin>& plugin, const CPluginFormat& format,
                       const CSDPMedia& media, CToolLaunch& launch, const ExecutableLocator& locate);

// The selected tools that can serve `media`, in registry, format and user order.
bool FindTools(const CSDPObject& session, const CSDPMedia& media, const CToolRegistry& registry,
               const ExecutableLocator& locate, std::vector<CToolLaunch>& out);

// installDir/tmp/NAME.sdp, every byte of the name that is not an ASCII
// letter or digit replaced by "_". A name longer than kMaxSdpFileStem is cut
// and ends in a hash of the whole name, so the file name stays within what
// file systems allow and different long names keep different files.
inline constexpr size_t kMaxSdpFileStem = 120;
std::string SdpFilePath(const std::string& installDir, const std::string& sessionName);

// The arguments after the program: the launch's arguments without the
// trailing path, with the plug-in's "$(SDPFILE)" of each replaced by
// `sdpFile`. `asksSdpFile` tells whether any argument asked for it.
std::vector<std::string> CommandArguments(const CToolLaunch& launch, const std::string& sdpFile, bool* asksSdpFile);

// Whether the executable of `plugin` can be found (the picker's red/black).
bool ToolExecutableFound(const CPlugin& plugin, const ExecutableLocator& locate);
