#pragma once
// The libjpeg side of the writer: compresses rows of 8-bit RGB pixels.

#include <QByteArray>
#include <QtGlobal>

namespace ostrovel::detail {

/// Byte order of one pixel in memory; X is a byte the encoder ignores.
enum class PixelLayout { Rgb, Bgr, Rgbx, Bgrx, Xrgb };

/// A read-only view of the rows to compress; `bits` points at the top row.
struct PixelRows {
    const uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0;
    int height = 0;
    PixelLayout layout = PixelLayout::Rgb;
};

/// Whether this libjpeg can take `layout` directly (Rgb always can).
bool layoutSupported(PixelLayout layout);

/// Compresses `rows` as a baseline 4:4:4 JPEG with optimized Huffman tables at
/// `quality` (0..100, already clamped) into `out`. Returns a JpegStatus: 2 when
/// libjpeg rejects the picture (e.g. a side over 65500), 3 when memory runs out.
/// Safe to call from several threads at once.
int compressJpeg(const PixelRows& rows, int quality, QByteArray& out);

} // namespace ostrovel::detail
