#include "app/InstanceGuard.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The pid the holder wrote, for the message only; 0 when unreadable.
long ReadPid(int fd)
{
    char text[24] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}
} // namespace

CInstanceGuard::EState CInstanceGuard::Acquire(const std::string& installDirectory)
{
    Release();
    m_path = (std::filesystem::path(installDirectory) / kLockFileName).string();
    m_error.clear();
    m_holderPid = 0;
    // Non-blocking open: a FIFO planted under the name must not hang the start.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        m_error = std::strerror(errno);
        return m_state = EState::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_error = "not a regular file";
        return m_state = EState::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        if (error == EWOULDBLOCK)
            m_holderPid = ReadPid(fd);
        else
            m_error = std::strerror(error);
        ::close(fd);
        return m_state = error == EWOULDBLOCK ? EState::Taken : EState::Failed;
    }
    // Ours: record who holds it (best effort, the lock alone decides).
    const std::string pid = std::to_string(::getpid()) + "\n";
    [[maybe_unused]] const bool recorded =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
    m_fd = fd;
    return m_state = EState::Held;
}

void CInstanceGuard::Release()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops the flock
    m_fd = -1;
    if (m_state == EState::Held)
        m_state = EState::Free;
}

std::string CInstanceGuard::Explanation() const
{
    const std::string dir = std::filesystem::path(m_path).parent_path().string();
    switch (m_state) {
    case EState::Taken:
        return "another instance is running on the install directory " + dir +
               (m_holderPid > 0 ? " (pid " + std::to_string(m_holderPid) + ")" : std::string());
    case EState::Failed:
        return "cannot lock the install directory: " + m_path + ": " + m_error;
    default:
        return {};
    }
}
