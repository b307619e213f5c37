#pragma once
// Limits and knobs of the decoder that its tests and benchmark use.

#include "JpegDecoder.h"

namespace ostrovel::jpegdec {

/// The largest decoded picture accepted, in bytes at 4 bytes a pixel.
inline constexpr qint64 kMaxOutputBytes = 1024LL * 1024 * 1024;
/// The largest JPEG read, in bytes: it is held in memory while decoded
/// (only up to its end marker: what follows is never read).
inline constexpr qint64 kMaxFileBytes = 1024LL * 1024 * 1024;
/// The largest width or height accepted, in pixels.
inline constexpr int kMaxSide = 65500;
/// More scans than this mark a hostile file: each one is a pass over the image.
inline constexpr int kMaxScans = 500;

struct DecodeOptions {
    /// Leave unread the scans of a progressive file that the chosen scale
    /// does not use; off reads every scan.
    bool skipUnusedScans = true;
    /// When set, receives how many scans were left unread.
    int* skippedScans = nullptr;
    /// When set, receives why the decode failed.
    QString* reason = nullptr;
};

/// DecodeJpeg with explicit options.
std::optional<DecodedJpeg> decodeJpeg(const QByteArray& data, const DenominatorChooser& chooseDenominator,
                                      const DecodeOptions& options);

} // namespace ostrovel::jpegdec
