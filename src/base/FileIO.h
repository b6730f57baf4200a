#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Reading and replacing the files the program uses, safe against whatever
// stands at the path: only a regular file is read (a directory, FIFO or
// device is refused without blocking), never more than a given size, and a
// file the program owns is replaced whole or not at all.
namespace fileio {

enum class EReadStatus { Ok, Missing, NotRegularFile, Unreadable, TooLarge };

struct CReadResult {
    EReadStatus status = EReadStatus::Missing;
    std::string bytes; // the content when Ok
    int error = 0;     // errno of a failed open or read

    bool Ok() const { return status == EReadStatus::Ok; }
    // Why the file could not be read, for messages.
    std::string Reason() const;
};

// The regular file at `path`, at most `limit` bytes: a longer file is
// TooLarge, or cut at `limit` when `cutAtLimit` is set.
CReadResult ReadRegularFile(const std::string& path, size_t limit, bool cutAtLimit = false);
// What ReadRegularFile would report, without keeping the bytes: for readers
// that open the file themselves after this check.
CReadResult ProbeRegularFile(const std::string& path, size_t limit);
// An already open descriptor (standard input), at most `limit` bytes.
CReadResult ReadDescriptor(int fd, size_t limit, bool cutAtLimit = false);

// Replaces the file at `path` with `bytes`: a temporary file beside it is
// written, flushed to disk and renamed over it, then the folder is flushed.
// On failure the old file is untouched, no temporary file is left, and
// `*error` holds the errno.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, int* error = nullptr);

// The same for a file written in pieces (a download): the temporary file
// only replaces `path` on Commit; a writer destroyed before, or a failed
// write, leaves the old file as it was and removes the temporary one.
class CAtomicFileWriter {
public:
    // `mode` set: the file gets exactly these permissions (a secret's 0600),
    // whatever the replaced one had.
    explicit CAtomicFileWriter(const std::string& path, int mode = -1);
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    bool Write(std::string_view bytes);
    bool Commit();
    void Abort();
    // The errno of the first failure, 0 while none.
    int Error() const { return m_error; }

private:
    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace fileio
