#pragma once
// Reads the picture formats besides the design's four from an open file.

#include "picture/formats/Decoders.h"

#include <QSize>
#include <QString>

#include <optional>

namespace ostrovel::formats {

/// The reason given for a file in none of the formats the loader reads.
QString UnknownFormatReason();

/// Decodes the PNG, WebP, TIFF, HEIF/AVIF or JPEG XL picture in `fd` (a
/// regular file), told by its content; `fitBox` as for the decoders.
/// Nothing on failure, with `reason` in English (UnknownFormatReason() for
/// none of these formats, "too large" beyond the limits).
std::optional<Decoded> ReadOtherFormat(int fd, QSize fitBox, QString& reason);

} // namespace ostrovel::formats
