#pragma once
// Decodes JPEG files into upright sRGB pixels, optionally at a reduced DCT
// scale, which is what the batch export spends most of its time on.

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace ostrovel {

struct DecodedJpeg {
    QImage image;  ///< upright, sRGB (no colour space attached), Format_RGB32, possibly reduced by the DCT scale
    QSize natural; ///< the upright full-resolution size in pixels
    /// The part of `image` the picture covers: at a reduced scale the last
    /// pixel row or column can be a partial block, mostly encoder padding.
    QRectF area;
};

/// Picks the DCT scale denominator (1, 2, 4 or 8; others are rounded down to
/// one of these) from the upright full-resolution size.
using DenominatorChooser = std::function<int(QSize naturalUpright)>;

/// How to decode, and where to say how it went.
struct JpegDecodeOptions {
    /// Asked once the header is read; unset decodes at full size.
    DenominatorChooser chooseDenominator;
    /// Leave unread the scans of a progressive file that the chosen scale
    /// does not use; off reads every scan.
    bool skipUnusedScans = true;
    /// Read a sequential file's scan with our own Huffman decoder; off (or
    /// when it gives up on odd data) libjpeg reads it.
    bool ownEntropyDecoder = true;
    /// When set, receives why the decode failed, in English.
    QString* reason = nullptr;
    /// When set, receives how many scans were left unread.
    int* skippedScans = nullptr;
    /// When set, receives whether our own Huffman decoder read the whole scan.
    bool* ownEntropyUsed = nullptr;
};

/// The one JPEG decoder: decodes the JPEG in `data` with EXIF orientation
/// applied and an embedded ICC profile converted to sRGB. Nothing when
/// `data` is not a JPEG, claims a size beyond 65500 pixels a side or an
/// output beyond 1 GB, holds data libjpeg rejects, or ends before its image
/// data is complete (the rows, or for a progressive file the coefficients
/// the scale uses); data lacking only its end marker is decoded. Safe to
/// call from several threads at once. Files are read with ReadJpegExtent
/// (JpegExtent.h), which stops at the end marker.
std::optional<DecodedJpeg> DecodeJpeg(const QByteArray& data, const JpegDecodeOptions& options);

} // namespace ostrovel
