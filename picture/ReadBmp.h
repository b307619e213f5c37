#pragma once
// Qt's BMP decoder, with every pixel of the picture defined, and our own
// where Qt's reads a layout wrong.

#include <QByteArray>
#include <QImage>

namespace ostrovel {

/// Decodes the BMP file in `bytes` (the decoder reads them in place), with at
/// most `allocationLimitMb` megabytes for the picture. Pixels the file does not
/// set (run-length data may jump over some, or end a line or the picture
/// early) hold the first palette colour. Bit fields of any width are scaled
/// to 8 bits; 52- and 56-byte headers are read like the 40-byte one (so
/// `bytes` may be rewritten). Null when the file cannot be decoded.
QImage ReadBmp(QByteArray& bytes, int allocationLimitMb);

} // namespace ostrovel
