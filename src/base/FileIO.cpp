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

bool WriteFileAtomically(const std::string& path, std::string_view bytes, int* error)
{
    auto fail = [error](int e) {
        if (error)
            *error = e;
        return false;
    };
    // A name of our own beside the target: the rename stays on one file
    // system, and two writers never share a temporary file.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(errno);
    CDescriptor file(fd);
    // Keep the permissions a replaced file had.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(fd, old.st_mode & 07777);

    int e = 0;
    for (size_t done = 0; done < bytes.size() && e == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n == 0 || errno != EINTR)
            e = n == 0 ? EIO : errno;
    }
    if (e == 0 && ::fsync(fd) != 0)
        e = errno;
    if (!file.Close() && e == 0)
        e = errno;
    if (e == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        e = errno;
    if (e != 0) {
        ::unlink(temporary.c_str());
        return fail(e);
    }
    // Makes the rename itself durable; a folder that cannot be opened only
    // loses that guarantee.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    CDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        (void)::fsync(dir.Get());
    return true;
}

} // namespace fileio
