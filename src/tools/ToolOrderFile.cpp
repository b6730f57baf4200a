// "tools.sort": the registry as a little-endian object archive.
#include "base/FileIO.h"
#include "base/Prompter.h"
#include "tools/ToolRegistry.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr uint16_t kSchema = 1;
constexpr const char* kGroupClass = "CMediaListEntry";
constexpr const char* kToolClass = "CToolEntry";

class CArchiveWriter {
public:
    void U8(uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) { U8(v & 0xFF), U8(v >> 8); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Text(const std::string& s)
    {
        if (s.size() < 0xFF) {
            U8(static_cast<uint8_t>(s.size()));
        } else if (s.size() < 0xFFFE) {
            U8(0xFF), U16(static_cast<uint16_t>(s.size()));
        } else {
            U8(0xFF), U16(0xFFFF), U32(static_cast<uint32_t>(s.size()));
        }
        m_out += s;
    }
    // The tag in front of an object; the archive numbers classes and objects
    // from 1 in the order they first appear.
    void ObjectTag(uint32_t& classIndex, const char* className)
    {
        if (classIndex == 0) {
            U16(kNewClassTag);
            U16(kSchema);
            U16(static_cast<uint16_t>(std::strlen(className)));
            m_out += className;
            classIndex = m_count++;
        } else if (classIndex < kBigObjectTag) {
            U16(static_cast<uint16_t>(kClassTag | classIndex));
        } else {
            U16(kBigObjectTag);
            U32(kBigClassTag | classIndex);
        }
        ++m_count; // the object itself
    }
    bool Overflowed() const { return m_count >= kBigClassTag; }
    std::string Take() { return std::move(m_out); }

private:
    std::string m_out;
    uint32_t m_count = 1; // 0 is the null object
};

class CArchiveReader {
public:
    explicit CArchiveReader(std::string_view bytes) : m_in(bytes) {}
    bool U8(uint8_t& v)
    {
        if (m_pos >= m_in.size())
            return false;
        v = static_cast<uint8_t>(m_in[m_pos++]);
        return true;
    }
    bool U16(uint16_t& v)
    {
        uint8_t lo, hi;
        if (!U8(lo) || !U8(hi))
            return false;
        v = static_cast<uint16_t>(lo | (hi << 8));
        return true;
    }
    bool U32(uint32_t& v)
    {
        uint16_t lo, hi;
        if (!U16(lo) || !U16(hi))
            return false;
        v = lo | (static_cast<uint32_t>(hi) << 16);
        return true;
    }
    bool I32(int32_t& v)
    {
        uint32_t u;
        if (!U32(u))
            return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool Bytes(size_t n, std::string& out)
    {
        if (n > m_in.size() - m_pos)
            return false; // never trust a length past the end of the file
        out.assign(m_in.substr(m_pos, n));
        m_pos += n;
        return true;
    }
    bool Text(std::string& s)
    {
        uint8_t b;
        if (!U8(b))
            return false;
        if (b < 0xFF)
            return Bytes(b, s);
        uint16_t w;
        if (!U16(w))
            return false;
        if (w < 0xFFFE)
            return Bytes(w, s);
        if (w == 0xFFFE)
            return false; // a wide-character string: not something we write
        uint32_t d;
        if (!U32(d) || d == 0xFFFFFFFFu)
            return false;
        return Bytes(d, s);
    }
    // Reads an object's tag and checks that it introduces an object of the
    // expected class. `classIndex` is 0 until the class has been seen.
    bool ObjectTag(uint32_t& classIndex, const char* className)
    {
        uint16_t tag;
        if (!U16(tag))
            return false;
        if (tag == kNewClassTag) {
            uint16_t schema, length;
            std::string name;
            if (!U16(schema) || !U16(length) || !Bytes(length, name))
                return false;
            if (schema != kSchema || name != className || classIndex != 0)
                return false;
            classIndex = m_count++;
        } else {
            uint32_t obTag = tag;
            if (tag == kBigObjectTag) {
                if (!U32(obTag))
                    return false;
            } else {
                obTag = (static_cast<uint32_t>(tag & kClassTag) << 16) | (tag & ~kClassTag);
            }
            // References to earlier objects (or the null object) never appear
            // in this file; a class tag must name the class expected here.
            if (!(obTag & kBigClassTag) || classIndex == 0 || (obTag & ~kBigClassTag) != classIndex)
                return false;
        }
        ++m_count;
        return true;
    }
    size_t Remaining() const { return m_in.size() - m_pos; }

private:
    std::string_view m_in;
    size_t m_pos = 0;
    uint32_t m_count = 1;
};

} // namespace

static bool DecodeGroups(std::string_view bytes, CToolRegistry& registry);

std::optional<std::string> EncodeToolOrder(const CToolRegistry& registry)
{
    CArchiveWriter w;
    uint32_t groupClass = 0, toolClass = 0;
    w.U32(static_cast<uint32_t>(registry.groups.size()));
    for (const CMediaListEntry& g : registry.groups) {
        w.ObjectTag(groupClass, kGroupClass);
        for (const std::string* s : {&g.media, &g.protocol, &g.protocolName, &g.format, &g.formatName})
            w.Text(*s);
        w.U32(static_cast<uint32_t>(g.tools.size()));
        for (const CToolEntry& t : g.tools) {
            w.ObjectTag(toolClass, kToolClass);
            w.Text(t.name);
            w.U32(static_cast<uint32_t>(t.selected));
            w.U32(static_cast<uint32_t>(t.order));
            // The plug-in's found path is what the next start needs.
            w.Text(t.plugin ? t.plugin->foundPath : t.path);
        }
    }
    if (w.Overflowed())
        return std::nullopt;
    return w.Take();
}

bool DecodeToolOrder(std::string_view bytes, CToolRegistry& registry)
{
    ClearToolRegistry(registry);
    CToolRegistry read;
    if (!DecodeGroups(bytes, read))
        return false; // nothing of a broken file is kept
    registry = std::move(read);
    return true;
}

static bool DecodeGroups(std::string_view bytes, CToolRegistry& registry)
{
    CArchiveReader r(bytes);
    uint32_t groupClass = 0, toolClass = 0;
    int32_t groupCount;
    if (!r.I32(groupCount) || groupCount < 0)
        return false;
    for (int32_t i = 0; i < groupCount; ++i) {
        CMediaListEntry g;
        if (!r.ObjectTag(groupClass, kGroupClass))
            return false;
        for (std::string* s : {&g.media, &g.protocol, &g.protocolName, &g.format, &g.formatName})
            if (!r.Text(*s))
                return false;
        int32_t toolCount;
        if (!r.I32(toolCount) || toolCount < 0)
            return false;
        for (int32_t j = 0; j < toolCount; ++j) {
            CToolEntry t;
            if (!r.ObjectTag(toolClass, kToolClass) || !r.Text(t.name) || !r.I32(t.selected) || !r.I32(t.order) ||
                !r.Text(t.path))
                return false;
            g.tools.push_back(std::move(t));
        }
        // Whatever orders the file holds, the launcher relies on 0..n-1.
        NormaliseToolOrder(g);
        registry.groups.push_back(std::move(g));
    }
    return true;
}

std::string ToolOrderPath(const std::string& installDir)
{
    return (std::filesystem::path(installDir) / kToolOrderFileName).string();
}

void ReadToolOrder(const std::string& installDir, CToolRegistry& registry, Prompter& prompter)
{
    ClearToolRegistry(registry);
    const fileio::CReadResult file = fileio::ReadRegularFile(ToolOrderPath(installDir), kMaxToolOrderFile);
    // Missing (the first start), a folder, a device or no permission: the
    // synchronisation fills the registry. Too large is no file we wrote.
    if (!file.Ok() && file.status != fileio::EReadStatus::TooLarge)
        return;
    if (!file.Ok() || !DecodeToolOrder(file.bytes, registry)) {
        ClearToolRegistry(registry);
        prompter.Show(kCorruptToolFile, EPromptButtons::OkCancel, EPromptIcon::Warning);
    }
}

bool SaveToolOrder(const std::string& installDir, CToolRegistry& registry, Prompter& prompter)
{
    auto bytes = EncodeToolOrder(registry);
    if (!bytes) {
        ClearToolRegistry(registry);
        prompter.Show(kCorruptToolFile, EPromptButtons::OkCancel, EPromptIcon::Warning);
        return false;
    }
    const std::string path = ToolOrderPath(installDir);
    int error = 0;
    const bool ok = bytes->size() <= kMaxToolOrderFile && fileio::WriteFileAtomically(path, *bytes, &error);
    if (!ok) {
        if (error == 0)
            error = EFBIG;
        prompter.Show("An error occurred while writing " + path + ": " + std::strerror(error), EPromptButtons::Ok,
                      EPromptIcon::Error);
    }
    return ok;
}
