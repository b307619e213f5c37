#pragma once
// New files under construction: written without a name where the file system
// allows it (O_TMPFILE), named only when complete, and locked while their
// writer lives, so a later run can tell a killed run's leftovers.

#include <QByteArray>

#include <functional>

namespace ostrovel {

/// A complete new file in a folder under a hidden temporary name, locked
/// (flock) through `fd` for as long as it is open.
struct TemporaryFile {
    int fd = -1;
    QByteArray name; ///< relative to the folder
};

/// Writes `bytes` into a new file in the folder `folder` (a directory
/// descriptor) that gets its temporary name only once complete. False on
/// failure, with errno set; nothing is then left in the folder.
bool WriteTemporary(int folder, const QByteArray& bytes, TemporaryFile& file);

/// Removes the temporary files in `folder` that no living writer holds (a
/// killed run's); each folder only once per process.
void RemoveAbandonedTemporaries(int folder);

/// Test hooks.
struct TemporaryFileHooks {
    bool named = false;            ///< as on a file system without unnamed files
    std::function<void()> written; ///< after the bytes are written, before the file gets a name
};
void SetTemporaryFileHooks(TemporaryFileHooks hooks);

} // namespace ostrovel
