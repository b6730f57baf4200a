#include "base/FileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

namespace {

class CDescriptor {
public:
    explicit CDescriptor(int fd) : m_fd(fd) {}
    ~CDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now, so that a failing close can be reported.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

CReadResult Failure(EReadStatus status, int error = 0)
{
    CReadResult r;
    r.status = status;
    r.error = error;
    return r;
}

// Opens without blocking (a FIFO with no writer would stall the open) and
// accepts a regular file only.
CReadResult OpenRegular(const std::string& path, size_t limit, bool cutAtLimit, int& fd)
{
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Failure(errno == ENOENT ? EReadStatus::Missing : EReadStatus::Unreadable, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Failure(EReadStatus::Unreadable, errno);
    if (!S_ISREG(st.st_mode))
        return Failure(EReadStatus::NotRegularFile);
    if (!cutAtLimit && static_cast<unsigned long long>(st.st_size) > limit)
        return Failure(EReadStatus::TooLarge);
    CReadResult ok;
    ok.status = EReadStatus::Ok;
    ok.bytes.reserve(std::min(static_cast<size_t>(st.st_size), limit));
    return ok;
}

} // namespace

std::string CReadResult::Reason() const
{
    switch (status) {
    case EReadStatus::Ok:
        return "no error";
    case EReadStatus::NotRegularFile:
        return "not a regular file";
    case EReadStatus::TooLarge:
        return "file too large";
    case EReadStatus::Missing:
    case EReadStatus::Unreadable:
        break;
    }
    return std::strerror(error ? error : EIO);
}

CReadResult ReadDescriptor(int fd, size_t limit, bool cutAtLimit)
{
    CReadResult r;
    r.status = EReadStatus::Ok;
    char buffer[65536];
    // One byte past the limit tells a file that is too long from one that
    // fits exactly (the size from fstat may be stale or 0, as in /proc).
    while (r.bytes.size() <= limit) {
        const size_t want = std::min(sizeof buffer, limit + 1 - r.bytes.size());
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failure(EReadStatus::Unreadable, errno);
        if (n == 0)
            return r;
        r.bytes.append(buffer, static_cast<size_t>(n));
    }
    if (!cutAtLimit)
        return Failure(EReadStatus::TooLarge);
    r.bytes.resize(limit);
    return r;
}

CReadResult ReadRegularFile(const std::string& path, size_t limit, bool cutAtLimit)
{
    int fd = -1;
    CReadResult opened = OpenRegular(path, limit, cutAtLimit, fd);
    CDescriptor guard(fd);
    if (!opened.Ok())
        return opened;
    return ReadDescriptor(fd, limit, cutAtLimit);
}

CReadResult ProbeRegularFile(const std::string& path, size_t limit)
{
    int fd = -1;
    CReadResult r = OpenRegular(path, limit, false, fd);
    CDescriptor guard(fd);
    return r;
}

CAtomicFileWriter::CAtomicFileWriter(const std::string& path, int mode) : m_path(path)
{
    // A name of our own beside the target: the rename stays on one file
    // system, and two writers never share a temporary file.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
        m_temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                      mode >= 0 ? static_cast<mode_t>(mode) : 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    // Keep the permissions a replaced file had.
    struct stat old {};
    if (mode >= 0)
        (void)::fchmod(m_fd, static_cast<mode_t>(mode));
    else if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(m_fd, old.st_mode & 07777);
}

CAtomicFileWriter::~CAtomicFileWriter() { Abort(); }

bool CAtomicFileWriter::Write(std::string_view bytes)
{
    if (m_fd < 0 || m_error != 0)
        return false;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            m_error = n == 0 ? EIO : errno;
            return false;
        }
    }
    return true;
}

bool CAtomicFileWriter::Commit()
{
    if (m_fd < 0) {
        if (m_error == 0)
            m_error = EBADF;
        return false;
    }
    if (m_error == 0 && ::fsync(m_fd) != 0)
        m_error = errno;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && m_error == 0)
        m_error = errno;
    if (m_error == 0 && ::rename(m_temporary.c_str(), m_path.c_str()) != 0)
        m_error = errno;
    if (m_error != 0) {
        ::unlink(m_temporary.c_str());
        return false;
    }
    // Makes the rename itself durable; a folder that cannot be opened only
    // loses that guarantee.
    const size_t slash = m_path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : m_path.substr(0, slash);
    CDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        (void)::fsync(dir.Get());
    return true;
}

void CAtomicFileWriter::Abort()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.c_str());
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, int* error)
{
    CAtomicFileWriter writer(path);
    const bool ok = writer.Write(bytes) && writer.Commit();
    if (!ok && error)
        *error = writer.Error();
    return ok;
}

} // namespace fileio
