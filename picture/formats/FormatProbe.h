#pragma once
// What the header of a picture in one of the formats besides the design's
// four says about its size, read without decoding any pixel.

#include "picture/formats/FormatSniff.h"

#include <QList>
#include <QSize>

#include <optional>

namespace ostrovel::formats {

/// A picture's header, as stored.
struct Probe {
    OtherFormat format = OtherFormat::None;
    QSize stored;         ///< width and height before any orientation
    int bitsPerSample = 8;
    bool alpha = false;
    bool animated = false;
    QSize upright = {};            ///< HEIF: the size after its rotation
    QList<QSize> thumbnails = {};  ///< HEIF: its embedded thumbnails, upright
};

/// The header of the PNG, WebP, TIFF, HEIF/AVIF or JPEG XL picture in `fd`
/// (a regular file): a few kilobytes and, for TIFF and HEIF, the boxes or
/// directory that describe the picture are read. Nothing when it is none
/// of these formats or its header is refused.
std::optional<Probe> ProbeOtherFormat(int fd);

} // namespace ostrovel::formats
