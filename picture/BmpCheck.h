#pragma once
// A look at a BMP's headers before it is decoded.

#include <QByteArray>
#include <QtGlobal>

namespace ostrovel {

/// True when the headers in `head` (the file's first bytes, at least 54 of
/// them when the file has that many) describe a BMP that `fileSize` bytes can
/// hold: known header and compression, sane sizes, pixel data inside the
/// file. Truncated files and absurd sizes are refused here, since the
/// decoder would fill what is missing instead of failing.
bool PlausibleBmp(const QByteArray& head, qint64 fileSize);

} // namespace ostrovel
