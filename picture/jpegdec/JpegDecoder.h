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

/// Decodes the JPEG file `file`, with EXIF orientation applied and an
/// embedded ICC profile converted to sRGB. `chooseDenominator` is asked once
/// the header is read. Nothing when the file is missing, unreadable or over
/// 1 GB, is not a JPEG, claims a size beyond 65500 pixels a side or an output beyond 1 GB,
/// holds data libjpeg rejects, or ends before its image data is complete.
/// Safe to call from several threads at once. Only regular files are read,
/// and only up to the end marker. A file lacking only its end marker is
/// decoded; one whose data ends before the rows (or, for a progressive file,
/// the coefficients the scale uses) are complete is not. On failure `reason`
/// (when given) says why in English.
std::optional<DecodedJpeg> DecodeJpegFile(const QString& file, const DenominatorChooser& chooseDenominator,
                                          QString* reason = nullptr);

/// The same for a JPEG held in memory.
std::optional<DecodedJpeg> DecodeJpeg(const QByteArray& data, const DenominatorChooser& chooseDenominator,
                                      QString* reason = nullptr);

} // namespace ostrovel
