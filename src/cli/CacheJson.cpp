#include "cli/CacheJson.h"

#include "base/Text.h"
#include "directory/qt/RecordJson.h"
#include "sdp/SDPObject.h"
#include "sdp/SessionList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

namespace {

// How Qt lays out an object alone: keys four spaces in, so this line is the
// entry's own "children" key and never a nested one.
constexpr std::string_view kChildrenLine = "\n    \"children\": [\n";

class CJsonStream {
public:
    explicit CJsonStream(const JsonSink& sink) : m_sink(sink) { m_buffer.reserve(kFlushAt + 16384); }
    ~CJsonStream() { Flush(); }

    void Put(std::string_view bytes)
    {
        m_buffer.append(bytes);
        FlushIfFull();
    }
    void Indent(int level) { m_buffer.append(static_cast<size_t>(4 * level), ' '); }

    // A value Qt wrote at the top level, moved `level` steps right: every
    // line that begins inside it gets the indent (strings hold no raw line
    // breaks, so every '\n' is layout).
    void PutIndented(std::string_view bytes, int level)
    {
        size_t from = 0;
        for (size_t nl; (nl = bytes.find('\n', from)) != std::string_view::npos; from = nl + 1) {
            m_buffer.append(bytes.substr(from, nl + 1 - from));
            if (nl + 1 < bytes.size())
                Indent(level);
        }
        m_buffer.append(bytes.substr(from));
        FlushIfFull();
    }

private:
    static constexpr size_t kFlushAt = 64 * 1024;
    void FlushIfFull()
    {
        if (m_buffer.size() >= kFlushAt)
            Flush();
    }
    void Flush()
    {
        if (!m_buffer.empty())
            m_sink(m_buffer);
        m_buffer.clear();
    }
    const JsonSink& m_sink;
    std::string m_buffer;
};

// One entry of the listing: the record, and for a directory its group,
// port and TTL and an empty "children" array its children go into.
QJsonObject EntryToJson(const CSDPObject& record)
{
    QJsonObject item = RecordToJson(record);
    if (IsDirectoryType(record.sessionType)) {
        item.insert("directory", QJsonObject{{"group", DirectoryGroupText(record)},
                                             {"port", record.links->directoryPort},
                                             {"ttl", record.links->directoryTtl}});
        item.insert("children", QJsonArray());
    }
    return item;
}

void WriteEntries(CJsonStream& out, const CSessionList& list, int level);

// One entry at `level` (its opening brace already placed on its line).
void WriteEntry(CJsonStream& out, const CSDPObject& record, int level)
{
    QByteArray json = QJsonDocument(EntryToJson(record)).toJson(QJsonDocument::Indented);
    json.chop(1); // the document's final line break
    const std::string_view bytes(json.constData(), static_cast<size_t>(json.size()));
    const size_t at = IsDirectoryType(record.sessionType) ? bytes.find(kChildrenLine) : std::string_view::npos;
    if (at == std::string_view::npos) {
        out.PutIndented(bytes, level);
        return;
    }
    const size_t split = at + kChildrenLine.size();
    out.PutIndented(bytes.substr(0, split), level);
    if (record.links->children)
        WriteEntries(out, *record.links->children, level + 2);
    // The rest starts with the closing bracket's own line.
    out.Indent(level);
    out.PutIndented(bytes.substr(split), level);
}

// The entries of an array whose bracket sits at `level - 1`, each on its
// own lines, the last one followed by a line break as Qt does.
void WriteEntries(CJsonStream& out, const CSessionList& list, int level)
{
    size_t left = list.Size();
    for (const auto& record : list) {
        out.Indent(level);
        WriteEntry(out, *record, level);
        out.Put(--left ? ",\n" : "\n");
    }
}

} // namespace

void WriteCacheJson(const CSessionList& list, const JsonSink& sink)
{
    CJsonStream out(sink);
    out.Put("[\n");
    WriteEntries(out, list, 1);
    out.Put("]\n");
}
