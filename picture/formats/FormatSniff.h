#pragma once
// The picture formats read besides the design's four, told by their content.

#include <QByteArray>

namespace ostrovel::formats {

enum class OtherFormat { None, Png, Webp, Tiff, Heif, Jxl };

/// Bytes of a file's start that SniffOtherFormat needs to see.
inline constexpr int kSniffBytes = 32;

/// The format whose signature `head` (the file's first kSniffBytes bytes or
/// fewer) starts with; None when it is none of them.
OtherFormat SniffOtherFormat(const QByteArray& head);

/// The format's name as a reason may say it ("PNG", "WebP", ...).
const char* FormatName(OtherFormat format);

} // namespace ostrovel::formats
