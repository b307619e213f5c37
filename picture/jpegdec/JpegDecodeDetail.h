#pragma once
// Limits of the decoder, shared with its tests.

#include <QtGlobal>

namespace ostrovel::jpegdec {

/// The largest decoded picture accepted, in bytes at 4 bytes a pixel.
inline constexpr qint64 kMaxOutputBytes = 1024LL * 1024 * 1024;
/// The largest width or height accepted, in pixels.
inline constexpr int kMaxSide = 65500;

} // namespace ostrovel::jpegdec
