#pragma once
// Encodes a picture as JPEG in memory.

#include "jpeg/JpegStatus.h"

#include <QByteArray>
#include <QImage>

namespace ostrovel {

/// Pictures up to this many pixels get optimized Huffman tables; larger ones
/// the standard tables, which need no buffer of the whole picture.
constexpr qint64 kMaxOptimizedPixels = qint64(32) << 20;

/// Encodes `image` as a baseline JPEG with 4:4:4 chroma and optimized Huffman
/// tables (up to kMaxOptimizedPixels) at `quality` (above 100 counts as 100,
/// below 0 as 0) into `out`.
/// Returns a status; `out` is only meaningful on kStatusOk.
int EncodeJpeg(const QImage& image, int quality, QByteArray& out);

} // namespace ostrovel
