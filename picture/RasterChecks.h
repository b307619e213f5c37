#pragma once
// A look at BMP and GIF files before they are decoded: Qt's decoders fill
// in what is missing from a damaged file instead of failing, and would
// allocate whatever size a header claims.

#include "picture/Limits.h"

#include <QByteArray>
#include <QtGlobal>

namespace ostrovel {

/// True when `file` (the whole BMP) has a known header and compression, a
/// size within kMaxRasterPixels, and pixel data the file really holds
/// (run-length data must reach its end marker or its last row).
bool PlausibleBmp(const QByteArray& file);

/// True when `file` (the whole GIF) has a logical screen and a first image
/// within kMaxRasterPixels, and that image's compressed data is valid and
/// complete.
bool PlausibleGif(const QByteArray& file);

} // namespace ostrovel
