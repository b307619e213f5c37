// WriteFileReplacing: a new file is written under a temporary name in the
// target folder and renamed over the target only when complete. rename() is
// atomic within a file system and replaces a symbolic link instead of
// following it. No fsync: the export writes hundreds of small files, a crash
// mid-export can simply be repeated, and ext4 and others already flush data
// written before a rename that replaces a file.

#include "Picturebox_2_jpg.h"
#include "WriteAll.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

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
// only picture suffixes) never shows a temporary file, and a short one, so
// it fits wherever the target's own name fits.
QByteArray temporaryName(const QByteArray& folder)
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return folder + ".ostrovel-" + QByteArray::number(random, 16).rightJustified(16, '0') + ".tmp";
}

// Creates a new, empty file beside the target. Mode 0666 lets the umask
// decide the permissions, as for any newly created file (mkstemp would give
// 0600, and reading the umask is not thread-safe). Returns -1 on failure.
int createTemporary(const QByteArray& folder, QByteArray& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(folder);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST && errno != EINTR)
            return -1;
    }
    return -1;
}

} // namespace

int WriteFileReplacing(const QString& outfile, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(outfile);
    // A NUL would cut the path short; a trailing '/' names no file.
    if (target.isEmpty() || target.endsWith('/') || target.contains('\0'))
        return kStatusWin32Error;
    QByteArray temporary;
    const int fd = createTemporary(folderOf(target), temporary);
    if (fd < 0)
        return kStatusWin32Error;
    bool ok = writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    // close() can report a failed write-back (e.g. on NFS or a full disk).
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(temporary.constData(), target.constData()) == 0)
        return kStatusOk;
    ::unlink(temporary.constData());
    return kStatusWin32Error;
}

} // namespace ostrovel
