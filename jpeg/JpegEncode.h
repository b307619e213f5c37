#pragma once
// Encodes a picture as JPEG in memory.

#include "JpegStatus.h"

#include <QByteArray>
#include <QImage>

namespace ostrovel {

/// Encodes `image` as a baseline JPEG with 4:4:4 chroma and optimized Huffman
/// tables at `quality` (above 100 counts as 100, below 0 as 0) into `out`.
/// Returns a status; `out` is only meaningful on kStatusOk.
int EncodeJpeg(const QImage& image, int quality, QByteArray& out);

} // namespace ostrovel
