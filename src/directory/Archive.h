#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ShortText.h"

// The cache file's primitive encodings: little-endian integers and texts
// with a length prefix (one byte below 255; 0xFF and a 16-bit length up to
// 65533; 0xFF, 0xFFFF and a 32-bit length beyond).
class CArchiveWriter {
public:
    void WriteInt(int32_t value) { WriteLE(static_cast<uint32_t>(value), 4); }
    void WriteUInt32(uint32_t value) { WriteLE(value, 4); }
    void WriteWord(uint16_t value) { WriteLE(value, 2); }
    void WriteByte(uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }
    void WriteTime(int64_t unixSeconds) { WriteLE(static_cast<uint32_t>(unixSeconds), 4); }
    void WriteText(std::string_view text);

    const std::string& Bytes() const { return m_bytes; }
    std::string& Bytes() { return m_bytes; }

private:
    void WriteLE(uint32_t value, int size)
    {
        char b[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                     static_cast<char>(value >> 24)};
        m_bytes.append(b, static_cast<size_t>(size));
    }
    std::string m_bytes;
};

// Reads the same encodings from bytes in memory. Running past the end sets
// a sticky failure; every read after that gives zero or an empty text, so a
// caller may check once at the end of a record.
class CArchiveReader {
public:
    explicit CArchiveReader(std::string_view bytes) : m_data(bytes) {}

    int32_t ReadInt() { return static_cast<int32_t>(ReadLE(4)); }
    uint32_t ReadUInt32() { return ReadLE(4); }
    uint16_t ReadWord() { return static_cast<uint16_t>(ReadLE(2)); }
    uint8_t ReadByte() { return static_cast<uint8_t>(ReadLE(1)); }
    int64_t ReadTime() { return ReadLE(4); }
    void ReadText(std::string& out);
    void ReadText(CShortText& out) { out.assign(ReadTextView()); }
    // The next text as a view of the bytes (empty after a failure).
    std::string_view ReadTextView()
    {
        // Nearly every text is shorter than 255 bytes: one length byte.
        // (After a failure the position is at the end.)
        if (m_pos < m_data.size()) {
            const size_t n = static_cast<uint8_t>(m_data[m_pos]);
            if (n < 0xFF && n < m_data.size() - m_pos) {
                const std::string_view text = m_data.substr(m_pos + 1, n);
                m_pos += 1 + n;
                return text;
            }
        }
        return ReadTextViewSlow();
    }

    // A count read from the file, taken only when that many items of at
    // least `minItemSize` bytes each can still follow; otherwise a failure.
    // A negative count means no items.
    int32_t ReadCount(size_t minItemSize);

    // Marks the data as unsound from `at` on (a value read there breaks a
    // rule of the format); reads after that fail like reads past the end.
    void FailAt(size_t at, const char* reason)
    {
        if (!m_failed) {
            m_failedAt = at;
            m_failReason = reason;
        }
        m_failed = true;
        m_pos = m_data.size();
    }

    bool Failed() const { return m_failed; }
    // Where the first failed read started, and why it failed.
    size_t FailedAt() const { return m_failedAt; }
    const char* FailReason() const { return m_failReason; }
    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_data.size() - m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    uint32_t ReadLE(size_t size)
    {
        if (Remaining() < size) {
            Fail();
            return 0;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(static_cast<uint8_t>(m_data[m_pos + i])) << (8 * i);
        m_pos += size;
        return value;
    }
    void Fail() { FailAt(m_pos, "the data ends early"); }
    std::string_view ReadTextViewSlow();

    std::string_view m_data;
    size_t m_pos = 0;
    bool m_failed = false;
    size_t m_failedAt = 0;
    const char* m_failReason = "";
};
