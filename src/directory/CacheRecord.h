#pragma once
#include <cstddef>

class CArchiveWriter;
class CArchiveReader;
class CSDPObject;

// The stored form of one record in the cache file, without the directory
// part (group, port, TTL, child list) that the store adds for directories.
namespace cache {
// The fewest bytes a record, a time entry and a media entry can take.
constexpr size_t kMinRecordSize = 51;
constexpr size_t kMinTimeSize = 5;
constexpr size_t kMinMediaSize = 30;
constexpr size_t kMinTextSize = 1;
// Group, port and TTL of a directory, then its child list's count.
constexpr size_t kDirectoryTailSize = 4 + 2 + 1 + 4;

void WriteRecord(CArchiveWriter& out, const CSDPObject& record);
// Overwrites the record's stored fields; false on a read past the end or a
// record no writer of ours makes (session type outside 0..7, a scope
// directory inside a directory, an own flag other than 0 or 1, a negative
// source length). The stored last-heard time is read and dropped. An own
// session's announcement TTL is set when the file holds it, else 0.
bool ReadRecord(CArchiveReader& in, CSDPObject& record, bool inDirectory = false);
} // namespace cache
