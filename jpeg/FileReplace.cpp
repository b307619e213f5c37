// WriteFileReplacing: a new file is written into the target's folder, gets a
// temporary name only once complete (jpeg/TemporaryFile) and is renamed over
// the target. Everything goes through one descriptor of the folder, so a
// folder renamed meanwhile still gets the file, and nothing is left behind
// by path. rename() is atomic within a file system and replaces a symbolic
// link instead of following it. No fsync: the export writes hundreds of
// small files, a crash mid-export can simply be repeated, and ext4 and
// others already flush data written before a rename that replaces a file.

#include "jpeg/FileReplace.h"

#include "common/FileNames.h"
#include "common/StopGate.h"
#include "jpeg/TemporaryFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ostrovel {

namespace {

// The folder part of `target`, "." for a name in the current folder.
QByteArray folderOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : target.left(slash);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Renames the complete temporary `file` over `name`; false (errno) when it
// could not, and then the temporary file is gone.
bool moveIntoPlace(int folder, const TemporaryFile& file, const QByteArray& name)
{
    // close() can report a failed write-back (e.g. on NFS or a full disk);
    // a second descriptor keeps the lock until the rename, so another run's
    // clean-up never takes the file meanwhile.
    const Descriptor keeper(::fcntl(file.fd, F_DUPFD_CLOEXEC, 0));
    bool ok = ::close(file.fd) == 0 && ::renameat(folder, file.name.constData(), folder, name.constData()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlinkat(folder, file.name.constData(), 0);
        errno = error;
    }
    return ok;
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
    // A stop signal waits until this file is in place or removed.
    const StopGate gate;
    if (gate.stopping()) {
        error = EINTR;
        return kStatusWin32Error;
    }
    const Descriptor folder(::open(folderOf(target).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        error = errno;
        return kStatusWin32Error;
    }
    RemoveAbandonedTemporaries(folder.get());
    TemporaryFile file;
    if (!WriteTemporary(folder.get(), bytes, file)
        || !moveIntoPlace(folder.get(), file, target.mid(target.lastIndexOf('/') + 1))) {
        error = errno;
        return kStatusWin32Error;
    }
    return kStatusOk;
}

} // namespace ostrovel
