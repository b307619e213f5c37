#include "common/ReadableFile.h"

#include "common/FileNames.h"
#include "common/SystemReason.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrovel {

FileHandle::~FileHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

int FileHandle::release() noexcept
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

FileHandle OpenPictureFile(const QString& path, QString& reason)
{
    const QByteArray name = EncodeFileName(path);
    if (name.isEmpty() || name.contains('\0')) {
        reason = SystemReason(ENOENT);
        return {};
    }
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        reason = errno == ENXIO ? QStringLiteral("not a regular file") : SystemReason(errno);
        return {};
    }
    FileHandle handle(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = SystemReason(errno);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        reason = QStringLiteral("not a regular file");
        return {};
    }
    // Regular files never block; reads then wait for the disk as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return handle;
}

QByteArray ReadAtMost(int fd, qint64 offset, qint64 cap, QString& reason)
{
    QByteArray bytes;
    constexpr qint64 kChunk = 1 << 20;
    try {
        for (;;) {
            const qint64 have = bytes.size();
            const qint64 want = std::min(kChunk, cap + 1 - have);
            if (want <= 0) {
                reason = QStringLiteral("too large");
                return {};
            }
            bytes.resize(have + want);
            const ssize_t got = ::pread(fd, bytes.data() + have, size_t(want), offset + have);
            if (got < 0 && errno == EINTR) {
                bytes.resize(have);
                continue;
            }
            if (got < 0) {
                reason = SystemReason(errno);
                return {};
            }
            bytes.resize(have + got);
            if (got == 0)
                return bytes;
        }
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("not enough memory");
        return {};
    }
}

} // namespace ostrovel
