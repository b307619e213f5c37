#pragma once
// The EXIF orientation: how a camera says its stored pixels must be turned
// to show the picture upright.

#include <QImage>
#include <QRectF>
#include <QSize>

#include <cstddef>

namespace ostrovel::jpegdec {

/// The orientation (1..8) in the TIFF data of an Exif segment (the bytes
/// after "Exif\0\0"); 1 when it is missing, out of range or the data is
/// truncated or garbage.
int exifOrientation(const unsigned char* tiff, std::size_t size);

/// The upright size of a picture stored as `stored` with `orientation`.
QSize uprightSize(QSize stored, int orientation);

/// The stored pixels turned upright for `orientation`; 1 and unknown values
/// leave them as they are.
QImage turnUpright(QImage stored, int orientation);

/// Where `area`, a rectangle of stored pixels of a picture of `storedSize`,
/// lies once turnUpright has turned the picture.
QRectF uprightArea(QRectF area, QSize storedSize, int orientation);

} // namespace ostrovel::jpegdec
