#include "jpeg/TemporaryFile.h"

#include "common/WriteAll.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace ostrovel {
namespace {

// A hidden name, so the file list (which leaves out dot files and matches
// only picture suffixes) never shows a temporary file; "unfinished" says
// what one left by a killed run is, so a user knows it can go.
constexpr char kPrefix[] = ".ostrovel-unfinished-";
constexpr char kSuffix[] = ".tmp";
constexpr int kAttempts = 100;

TemporaryFileHooks g_hooks;

QByteArray temporaryName()
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return kPrefix + QByteArray::number(random, 16).rightJustified(16, '0') + kSuffix;
}

bool isTemporaryName(const char* name)
{
    const std::size_t length = std::strlen(name);
    return length > sizeof kPrefix + sizeof kSuffix - 2 && std::strncmp(name, kPrefix, sizeof kPrefix - 1) == 0
           && std::strcmp(name + length - (sizeof kSuffix - 1), kSuffix) == 0;
}

// Marks `fd` as a living writer's. Where the file system has no locks the
// clean-up cannot lock either, and then never removes the file.
void holdLock(int fd)
{
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

bool writeBytes(int fd, const QByteArray& bytes)
{
    errno = 0;
    if (writeAll(fd, bytes.constData(), std::size_t(bytes.size())))
        return true;
    if (errno == 0)
        errno = ENOSPC;
    return false;
}

// Gives the unnamed file `fd` a new temporary name in `folder`.
bool linkUnnamed(int fd, int folder, QByteArray& name)
{
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        name = temporaryName();
        if (::linkat(AT_FDCWD, self, folder, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno == EEXIST)
            continue;
        // Without /proc: linking by descriptor needs a capability.
        if (::linkat(fd, "", folder, name.constData(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

enum class Made { Ok, Failed, Unsupported };

// The file exists without a name until it is complete: a killed process
// leaves nothing. Unsupported where the file system cannot do it.
Made writeUnnamed(int folder, const QByteArray& bytes, TemporaryFile& file)
{
    // Mode 0666 lets the umask decide, as for any newly created file.
    const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return Made::Unsupported; // a real error is met again on the named path
    if (!writeBytes(fd, bytes)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return Made::Failed;
    }
    holdLock(fd); // before it has a name, so no clean-up can take it
    if (g_hooks.written)
        g_hooks.written();
    if (!linkUnnamed(fd, folder, file.name)) {
        ::close(fd);
        return Made::Unsupported;
    }
    file.fd = fd;
    return Made::Ok;
}

// True while `name` in `folder` is still the file open as `fd`.
bool stillNamed(int folder, const QByteArray& name, int fd)
{
    struct stat named {};
    struct stat open {};
    return ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0
           && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// A named file, removed again on failure.
bool writeNamed(int folder, const QByteArray& bytes, TemporaryFile& file)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QByteArray name = temporaryName();
        const int fd = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR)
                continue;
            return false;
        }
        holdLock(fd);
        // Another run's clean-up may have taken it before the lock.
        if (!stillNamed(folder, name, fd)) {
            ::close(fd);
            continue;
        }
        if (!writeBytes(fd, bytes)) {
            const int error = errno;
            ::unlinkat(folder, name.constData(), 0);
            ::close(fd);
            errno = error;
            return false;
        }
        if (g_hooks.written)
            g_hooks.written();
        file = {fd, name};
        return true;
    }
    errno = EEXIST;
    return false;
}

// Removes `name` unless a living writer holds its lock.
void removeIfAbandoned(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(folder, name, 0);
    ::close(fd);
}

} // namespace

bool WriteTemporary(int folder, const QByteArray& bytes, TemporaryFile& file)
{
    if (!g_hooks.named) {
        const Made made = writeUnnamed(folder, bytes, file);
        if (made != Made::Unsupported)
            return made == Made::Ok;
    }
    return writeNamed(folder, bytes, file);
}

void RemoveAbandonedTemporaries(int folder)
{
    // A folder is known by its birth time too: a removed folder's inode
    // number may come back for a new one.
    static std::mutex mutex;
    static std::set<std::tuple<dev_t, ino_t, qint64, quint32>> swept;
    struct statx info {};
    if (::statx(folder, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &info) != 0)
        return;
    {
        std::lock_guard lock(mutex);
        if (!swept.insert({makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino, info.stx_btime.tv_sec,
                           info.stx_btime.tv_nsec}).second)
            return;
    }
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!entries) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(entries))
        if (isTemporaryName(entry->d_name))
            removeIfAbandoned(folder, entry->d_name);
    ::closedir(entries);
}

void SetTemporaryFileHooks(TemporaryFileHooks hooks)
{
    g_hooks = std::move(hooks);
}

} // namespace ostrovel
