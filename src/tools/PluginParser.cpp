// The line and block grammar of plug-in files.
#include "base/Prompter.h"
#include "tools/Plugin.h"

namespace {

constexpr const char* kInvalidElement = "Invalid element in plugin!";
constexpr const char* kNoDefine = "Currently no support for @define!!!";

// A keyword matches anywhere in the line; its value is what follows the
// keyword's colon, leading blanks skipped, trailing blanks kept.
bool Keyword(std::string_view line, std::string_view keyword, std::string_view* value = nullptr)
{
    size_t at = line.find(keyword);
    if (at == std::string_view::npos)
        return false;
    if (value) {
        std::string_view rest = line.substr(at + keyword.size());
        size_t start = rest.find_first_not_of(' ');
        *value = start == std::string_view::npos ? std::string_view{} : rest.substr(start);
    }
    return true;
}

bool Holds(std::string_view line, char c) { return line.find(c) != std::string_view::npos; }

} // namespace

void CPluginParser::BeginFile(CPlugin& plugin)
{
    m_plugin = &plugin;
    m_stack.clear();
    m_format = nullptr;
    m_attribute = nullptr;
    m_value = nullptr;
    m_macro = nullptr;
    m_noAttr = nullptr;
}

// A "{" before any block keyword, or deeper than the stack holds, opens nothing.
void CPluginParser::Open()
{
    if (m_nextKind == EPluginBlock::None || m_stack.size() >= kMaxOpenBlocks)
        return;
    m_stack.push_back(m_nextKind);
}

void CPluginParser::Close()
{
    if (!m_stack.empty())
        m_stack.pop_back();
}

CPluginMacro* CPluginParser::NewMacro(std::deque<CPluginMacro>& list, std::string_view name)
{
    list.push_back(CPluginMacro{std::string(name), {}});
    m_macro = &list.back();
    m_nextKind = EPluginBlock::Macro;
    return m_macro;
}

void CPluginParser::NewValue(std::string_view value)
{
    m_nextKind = EPluginBlock::Value;
    // The kind is carried from an earlier file, so there may be no attribute yet.
    if (!m_attribute) {
        m_value = nullptr;
        return;
    }
    m_attribute->values.push_back(CPluginValue{});
    m_value = &m_attribute->values.back();
    m_value->value = std::string(value);
}

bool CPluginParser::ParseLine(std::string_view line)
{
    if (!m_plugin)
        return true;
    // Bytes after a NUL were never part of the line as text.
    if (size_t nul = line.find('\0'); nul != std::string_view::npos)
        line = line.substr(0, nul);
    size_t start = line.find_first_not_of(' ');
    line = start == std::string_view::npos ? std::string_view{} : line.substr(start);
    if (size_t hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);

    switch (Current()) {
    case EPluginBlock::TopLevel:
    case EPluginBlock::None:
        return TopLevelLine(line);
    case EPluginBlock::Format:
        FormatLine(line);
        break;
    case EPluginBlock::Attribute:
        AttributeLine(line);
        break;
    case EPluginBlock::Macro:
        MacroLine(line);
        break;
    case EPluginBlock::NoAttr:
        NoAttrLine(line);
        break;
    case EPluginBlock::Value:
        ValueLine(line);
        break;
    }
    return true;
}

bool CPluginParser::TopLevelLine(std::string_view line)
{
    CPlugin& p = *m_plugin;
    std::string_view v;
    if (Keyword(line, "fmt:", &v)) {
        p.formats.push_back(CPluginFormat{});
        m_format = &p.formats.back();
        m_format->name = std::string(v);
        m_nextKind = EPluginBlock::Format;
    } else if (Keyword(line, "media:", &v)) {
        p.media = std::string(v);
    } else if (Keyword(line, "tool:", &v)) {
        p.tool = std::string(v);
    } else if (Keyword(line, "toolname:", &v)) {
        p.toolName = std::string(v);
    } else if (Keyword(line, "proto:", &v)) {
        p.protocol = std::string(v);
    } else if (Keyword(line, "protoname:", &v)) {
        p.protocolName = std::string(v);
    } else if (Keyword(line, "create:")) {
        // Anything holding the letters "no" (so "none" too) clears the flag.
        p.create = line.substr(line.find("create:")).find("no") == std::string_view::npos;
    } else if (Keyword(line, "description:", &v)) {
        p.description = std::string(v);
    } else if (Keyword(line, "date:", &v)) {
        p.date = std::string(v);
    } else if (Keyword(line, "attr:", &v)) {
        p.attributes.push_back(CPluginAttribute{});
        m_attribute = &p.attributes.back();
        m_attribute->name = std::string(v);
        m_nextKind = EPluginBlock::Attribute;
    } else if (Keyword(line, "@define:")) {
        m_prompter.Show(kNoDefine);
        return false;
    } else if (Keyword(line, "macro:", &v)) {
        NewMacro(p.macros, v);
    } else if (Keyword(line, "flags:", &v)) {
        p.commandLineParts.emplace_back(v);
    } else if (Holds(line, '{')) {
        Open();
    }
    return true;
}

void CPluginParser::FormatLine(std::string_view line)
{
    std::string_view v;
    if (Holds(line, '{')) {
        Open();
    } else if (Holds(line, '}')) {
        Close();
    } else if (Keyword(line, "fmtname:", &v)) {
        if (m_format)
            m_format->displayName = std::string(v);
    } else if (Keyword(line, "flags:", &v)) {
        if (m_format)
            m_format->flags = std::string(v);
    } else if (Keyword(line, "noattr:", &v)) {
        m_nextKind = EPluginBlock::NoAttr;
        m_noAttr = nullptr;
        if (m_format) {
            m_format->noAttributes.push_back(CPluginNoAttr{std::string(v), {}});
            m_noAttr = &m_format->noAttributes.back();
        }
    } else if (Keyword(line, "attr:", &v)) {
        m_nextKind = EPluginBlock::Attribute;
        m_attribute = nullptr;
        if (m_format) {
            m_format->attributes.push_back(CPluginAttribute{});
            m_attribute = &m_format->attributes.back();
            m_attribute->name = std::string(v);
        }
    } else {
        // Anything else, an empty line included, ends every open block.
        m_stack.clear();
    }
}

void CPluginParser::AttributeLine(std::string_view line)
{
    std::string_view v;
    if (Holds(line, '}')) {
        Close();
    } else if (Holds(line, '{')) {
        Open();
    } else if (Keyword(line, "attrname:", &v)) {
        if (m_attribute)
            m_attribute->displayName = std::string(v);
    } else if (Keyword(line, "inputvalue:", &v)) {
        if (m_attribute)
            m_attribute->inputValue = std::string(v);
    } else if (Keyword(line, "def:", &v)) {
        if (m_attribute)
            m_attribute->defaultValue = std::string(v);
    } else if (Keyword(line, "macro:", &v)) {
        if (m_attribute)
            NewMacro(m_attribute->macros, v);
        else
            NoCurrentMacro();
    } else if (Keyword(line, "attrvalue:", &v)) {
        NewValue(v);
    }
}

void CPluginParser::MacroLine(std::string_view line)
{
    std::string_view v;
    if (Holds(line, '{'))
        return; // opens nothing: the next "}" closes the macro block itself
    if (Holds(line, '}'))
        Close();
    else if (Keyword(line, "value:", &v) && m_macro)
        m_macro->value = std::string(v);
}

void CPluginParser::NoAttrLine(std::string_view line)
{
    std::string_view v;
    if (Holds(line, '}'))
        Close();
    else if (Holds(line, '{'))
        return;
    else if (Keyword(line, "flags:", &v) && m_noAttr)
        m_noAttr->flags = std::string(v);
}

void CPluginParser::ValueLine(std::string_view line)
{
    std::string_view v;
    if (Holds(line, '{')) {
        Open();
    } else if (Holds(line, '}')) {
        Close();
    } else if (Keyword(line, "macro:", &v)) {
        if (m_value)
            NewMacro(m_value->macros, v);
        else
            NoCurrentMacro();
    } else if (Keyword(line, "attrvaluename:", &v)) {
        if (m_value)
            m_value->displayName = std::string(v);
    } else if (Keyword(line, "flags:", &v)) {
        if (m_value)
            m_value->flags = std::string(v);
    } else if (Keyword(line, "def:", &v)) {
        if (m_value)
            m_value->defaultMark = std::string(v);
    } else if (Keyword(line, "attrvalue:", &v)) {
        NewValue(v);
    } else {
        m_prompter.Show(kInvalidElement);
    }
}

// One piece as the loader reads it: at most 1023 bytes up to and including
// a line feed. The line feed goes, and a carriage return before it.
bool CPluginParser::ParsePiece(std::string_view piece)
{
    if (!piece.empty() && piece.back() == '\n')
        piece.remove_suffix(1);
    if (!piece.empty() && piece.back() == '\r')
        piece.remove_suffix(1);
    return ParseLine(piece);
}

bool CPluginParser::ParseText(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
        if (end - pos > kMaxLinePiece)
            end = pos + kMaxLinePiece;
        if (!ParsePiece(text.substr(pos, end - pos)))
            return false;
        pos = end;
    }
    return true;
}
