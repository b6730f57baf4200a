#pragma once
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Prompter;

// The records one plug-in file is read into. Lists are deques so that the
// loader's "current record" pointers stay valid while siblings are appended.
struct CPluginMacro {
    std::string name;
    std::string value;
};

struct CPluginValue {
    std::string value;
    std::string displayName;
    std::string flags;
    std::string defaultMark;
    std::deque<CPluginMacro> macros;
};

struct CPluginAttribute {
    std::string name;
    std::string displayName;
    std::string inputValue;
    std::string defaultValue;
    std::deque<CPluginMacro> macros;
    std::deque<CPluginValue> values;
};

struct CPluginNoAttr {
    std::string name;
    std::string flags;
};

struct CPluginFormat {
    std::string name;
    std::string displayName;
    std::string flags;
    std::deque<CPluginNoAttr> noAttributes;
    std::deque<CPluginAttribute> attributes;
};

struct CPlugin {
    std::string fileKey;
    std::string media;
    std::string protocol;
    std::string protocolName;
    std::string fileSubkey;
    std::string tool;
    std::string toolName;
    std::string description;
    std::string date;
    bool create = true;
    std::deque<CPluginFormat> formats;
    std::deque<CPluginAttribute> attributes;
    std::deque<CPluginMacro> macros;
    std::vector<std::string> commandLineParts;
    // Where the executable was found by a search or restored from "tools.sort".
    std::string foundPath;
};

// The plug-in table, in load order. Records are shared so that registry
// entries and prepared launches never outlive the plug-in they point to.
class CPluginTable {
public:
    size_t Count() const { return m_plugins.size(); }
    const std::shared_ptr<CPlugin>& At(size_t i) const { return m_plugins.at(i); }
    void Append(std::shared_ptr<CPlugin> plugin) { m_plugins.push_back(std::move(plugin)); }
    void Clear() { m_plugins.clear(); }
    auto begin() const { return m_plugins.begin(); }
    auto end() const { return m_plugins.end(); }

private:
    std::vector<std::shared_ptr<CPlugin>> m_plugins;
};

// What the plug-in file grammar remembers between lines, and between files:
// the kind announced by the last block keyword is not reset at a new file.
enum class EPluginBlock { None, TopLevel, Format, Attribute, Macro, NoAttr, Value };

class CPluginParser {
public:
    static constexpr size_t kMaxLinePiece = 1023; // longer lines are read in pieces of this size
    static constexpr size_t kMaxOpenBlocks = 4;   // besides the top level

    explicit CPluginParser(Prompter& prompter) : m_prompter(prompter) {}

    // Starts a new file: top level, no current records. The next block kind stays.
    void BeginFile(CPlugin& plugin);
    // One line of the file without its line end. Returns false when the line
    // ends the program ("@define:").
    bool ParseLine(std::string_view line);
    // A whole file text, split into lines the way the loader reads them.
    bool ParseText(std::string_view text);

    EPluginBlock NextBlockKind() const { return m_nextKind; }
    size_t OpenBlocks() const { return m_stack.size(); }

private:
    bool ParsePiece(std::string_view piece);
    EPluginBlock Current() const { return m_stack.empty() ? EPluginBlock::TopLevel : m_stack.back(); }
    void Open();
    void Close();
    bool TopLevelLine(std::string_view line);
    void FormatLine(std::string_view line);
    void AttributeLine(std::string_view line);
    void MacroLine(std::string_view line);
    void NoAttrLine(std::string_view line);
    void ValueLine(std::string_view line);
    CPluginMacro* NewMacro(std::deque<CPluginMacro>& list, std::string_view name);
    void NewValue(std::string_view value);
    void NoCurrentMacro() { m_nextKind = EPluginBlock::Macro; m_macro = nullptr; }

    Prompter& m_prompter;
    CPlugin* m_plugin = nullptr;
    EPluginBlock m_nextKind = EPluginBlock::None;
    std::vector<EPluginBlock> m_stack; // open blocks above the top level
    CPluginFormat* m_format = nullptr;
    CPluginAttribute* m_attribute = nullptr;
    CPluginValue* m_value = nullptr;
    CPluginMacro* m_macro = nullptr;
    CPluginNoAttr* m_noAttr = nullptr;
};

enum class EPluginLoad {
    Ok,
    Fatal, // a message was shown and the program must end with exit status -1
};

inline constexpr const char* kPluginPrefix = "rev2.plugin";
inline constexpr size_t kMaxPluginFiles = 201;
// A rule file is a few kilobytes; a larger one is not read.
inline constexpr size_t kMaxPluginFileSize = size_t{1} << 20;

// Appends one record per plug-in file in installDir/plugins (files whose name
// begins with "rev2.plugin", in name order). Does not clear the table first.
EPluginLoad LoadPlugins(const std::string& installDir, CPluginTable& table, Prompter& prompter);
void ClearPlugins(CPluginTable& table);

// File key and subkey: parts 2 and 5 of the name split at runs of ".".
void SetPluginFileKeys(CPlugin& plugin, std::string_view fileName);
