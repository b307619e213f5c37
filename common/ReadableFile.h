#pragma once
// Opening a file to read a picture from it: only regular files, without ever
// blocking, and reading no more than a cap.

#include <QByteArray>
#include <QString>

namespace ostrovel {

/// An open file descriptor, closed when the handle goes.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : m_fd(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release() noexcept;

private:
    int m_fd = -1;
};

/// Opens `path` (a name as DecodeFileName gives it) for reading a picture:
/// opened without blocking (a FIFO or device never hangs the caller), then
/// the opened file itself must be a regular file. Closed handle on failure,
/// with `reason` saying why in English ("not a regular file", or the
/// system's words such as "No such file or directory").
FileHandle OpenPictureFile(const QString& path, QString& reason);

/// Reads from `fd` at `offset` up to `cap` bytes; more than `cap` bytes is a
/// failure ("too large"), so an endless file cannot exhaust memory. Empty
/// with `reason` set on failure ("not enough memory" when the buffer could
/// not be had).
QByteArray ReadAtMost(int fd, qint64 offset, qint64 cap, QString& reason);

} // namespace ostrovel
