#include "platform/ExclusiveFileLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace quindle::platform {

std::optional<ExclusiveFileLock> ExclusiveFileLock::tryTake(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::nullopt;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return ExclusiveFileLock(fd);
}

ExclusiveFileLock::ExclusiveFileLock(ExclusiveFileLock &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

ExclusiveFileLock &ExclusiveFileLock::operator=(ExclusiveFileLock &&other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (m_fd >= 0)
        ::close(m_fd); // closing the only descriptor releases the lock
}

} // namespace quindle::platform
