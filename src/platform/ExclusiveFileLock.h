#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// An flock(2) lock on a file, the kind the service's `flock` takes: held until this object goes.
class ExclusiveFileLock {
public:
    // Takes the lock without waiting, creating the file when needed; nothing when another
    // process holds it or the file cannot be opened.
    static std::optional<ExclusiveFileLock> tryTake(const QString &path);

    ExclusiveFileLock(ExclusiveFileLock &&other) noexcept;
    ExclusiveFileLock &operator=(ExclusiveFileLock &&other) noexcept;
    ExclusiveFileLock(const ExclusiveFileLock &) = delete;
    ExclusiveFileLock &operator=(const ExclusiveFileLock &) = delete;
    ~ExclusiveFileLock();

private:
    explicit ExclusiveFileLock(int fd)
        : m_fd(fd) {}
    int m_fd = -1;
};

} // namespace quindle::platform
