#include "directory/Archive.h"

void CArchiveWriter::WriteText(std::string_view text)
{
    const size_t n = text.size();
    if (n < 0xFF) {
        WriteByte(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteByte(0xFF);
        WriteWord(static_cast<uint16_t>(n));
    } else {
        WriteByte(0xFF);
        WriteWord(0xFFFF);
        WriteUInt32(static_cast<uint32_t>(n));
    }
    m_bytes.append(text);
}

void CArchiveReader::ReadText(std::string& out)
{
    const std::string_view text = ReadTextView();
    out.assign(text.data(), text.size());
}

std::string_view CArchiveReader::ReadTextViewSlow()
{
    size_t n = ReadByte();
    if (n == 0xFF) {
        n = ReadWord();
        if (n == 0xFFFF)
            n = ReadUInt32();
    }
    if (m_failed || n > Remaining()) {
        Fail();
        return {};
    }
    const std::string_view text = m_data.substr(m_pos, n);
    m_pos += n;
    return text;
}

int32_t CArchiveReader::ReadCount(size_t minItemSize)
{
    const size_t at = m_pos;
    const int32_t count = ReadInt();
    if (m_failed || count <= 0)
        return 0;
    if (minItemSize > 0 && static_cast<size_t>(count) > Remaining() / minItemSize) {
        FailAt(at, "a count larger than the data");
        return 0;
    }
    return count;
}
