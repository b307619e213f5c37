#pragma once
// Replaces a file only once its new contents are complete.

#include "jpeg/JpegStatus.h"

#include <QByteArray>
#include <QString>

namespace ostrovel {

/// Writes `bytes` to `outfile` through a temporary file in the same folder
/// that is renamed over `outfile` only when complete: on failure an earlier
/// file of that name is untouched and no partial file is left. A symbolic
/// link at `outfile` is replaced, not followed. Returns a status; on failure
/// `errnum` (when given) gets the system's error number, 0 if none.
int WriteFileReplacing(const QString& outfile, const QByteArray& bytes, int* errnum = nullptr);

/// Removes the temporary files of writes still in progress. Safe to call
/// from a signal handler (only async-signal-safe calls).
void RemoveTemporaryFiles() noexcept;

} // namespace ostrovel
