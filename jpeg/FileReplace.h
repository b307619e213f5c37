#pragma once
// Replaces a file only once its new contents are complete.

#include "jpeg/JpegStatus.h"

#include <QByteArray>
#include <QString>

namespace ostrovel {

/// Writes `bytes` to `outfile` through a new file in the same folder that
/// has a name only when complete and is then renamed over `outfile`: on
/// failure an earlier file of that name is untouched and no partial file is
/// left, nor by a stop signal (common/StopGate). A symbolic link at
/// `outfile` is replaced, not followed. Returns a status; on failure
/// `errnum` (when given) gets the system's error number, 0 if none.
int WriteFileReplacing(const QString& outfile, const QByteArray& bytes, int* errnum = nullptr);

} // namespace ostrovel
