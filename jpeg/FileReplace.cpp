// WriteFileReplacing: a new file is written under a temporary name in the
// target folder and renamed over the target only when complete. rename() is
// atomic within a file system and replaces a symbolic link instead of
// following it. No fsync: the export writes hundreds of small files, a crash
// mid-export can simply be repeated, and ext4 and others already flush data
// written before a rename that replaces a file.

#include "jpeg/FileReplace.h"

#include "common/FileNames.h"
#include "common/WriteAll.h"

#include <QRandomGenerator>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ostrovel {

namespace {

// The folder part of `target` including its last '/', or empty for a
// name in the current folder.
QByteArray folderOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    return slash < 0 ? QByteArray() : target.left(slash + 1);
}

// A hidden name, so the file list (which leaves out dot files and matches
// only picture suffixes) never shows a temporary file; "unfinished" says
// what one left by a killed run is, so a user knows it can go.
QByteArray temporaryName(const QByteArray& folder)
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return folder + ".ostrovel-unfinished-" + QByteArray::number(random, 16).rightJustified(16, '0') + ".tmp";
}

// The temporary files being written, for a signal handler to remove: fixed
// slots, so that the handler needs no lock and no allocation.
enum SlotState : int { kFree, kFilling, kHeld };
struct TemporarySlot {
    std::atomic<int> state{kFree};
    std::array<char, PATH_MAX> name{};
};
std::array<TemporarySlot, 64> g_temporaries;

// A slot holding `name`, or -1 when all are taken (the file is then written
// unregistered: only a signal at that moment could leave it behind).
int registerTemporary(const QByteArray& name)
{
    if (name.size() >= PATH_MAX)
        return -1;
    for (std::size_t i = 0; i < g_temporaries.size(); ++i) {
        int expected = kFree;
        if (g_temporaries[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_temporaries[i].name.data(), name.constData(), std::size_t(name.size()) + 1);
            g_temporaries[i].state.store(kHeld);
            return int(i);
        }
    }
    return -1;
}

void releaseTemporary(int slot)
{
    if (slot >= 0)
        g_temporaries[std::size_t(slot)].state.store(kFree);
}

// Creates a new, empty file beside the target. Mode 0666 lets the umask
// decide the permissions, as for any newly created file (mkstemp would give
// 0600, and reading the umask is not thread-safe). Returns -1 on failure.
// The name is registered before the file exists, so a signal can never
// find a file it does not know of.
int createTemporary(const QByteArray& folder, QByteArray& name, int& slot)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(folder);
        slot = registerTemporary(name);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        const int error = errno;
        releaseTemporary(slot);
        slot = -1;
        errno = error;
        if (errno != EEXIST && errno != EINTR)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

int WriteFileReplacing(const QString& outfile, const QByteArray& bytes, int* errnum)
{
    int ignored = 0;
    int& error = errnum ? *errnum : ignored;
    error = 0;
    const QByteArray target = EncodeFileName(outfile);
    // A NUL would cut the path short; a trailing '/' names no file.
    if (target.isEmpty() || target.endsWith('/') || target.contains('\0')) {
        error = target.endsWith('/') ? EISDIR : ENOENT;
        return kStatusWin32Error;
    }
    QByteArray temporary;
    int slot = -1;
    const int fd = createTemporary(folderOf(target), temporary, slot);
    if (fd < 0) {
        error = errno;
        return kStatusWin32Error;
    }
    errno = 0;
    bool ok = writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (!ok)
        error = errno != 0 ? errno : ENOSPC;
    // close() can report a failed write-back (e.g. on NFS or a full disk).
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(temporary.constData(), target.constData()) == 0) {
        releaseTemporary(slot);
        return kStatusOk;
    }
    if (ok)
        error = errno;
    ::unlink(temporary.constData());
    releaseTemporary(slot);
    return kStatusWin32Error;
}

void RemoveTemporaryFiles() noexcept
{
    for (TemporarySlot& slot : g_temporaries)
        if (slot.state.load() == kHeld)
            ::unlink(slot.name.data());
}


} // namespace ostrovel
