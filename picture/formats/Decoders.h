#pragma once
// The decoders of the formats read besides the design's four, each over
// Debian's library for it, and what they share.

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrovel::formats {

/// A decoded picture: `image` upright (orientation applied), converted to
/// sRGB, with straight or premultiplied alpha where the file has alpha;
/// `natural` its upright size in pixels (larger than `image` after a
/// reduced decode).
struct Decoded {
    QImage image;
    QSize natural;
};

/// Each decoder reads the whole file in `bytes`. `fitBox` is the box the
/// picture will be fitted into (empty: unknown): a decoder with a reduced
/// decode uses it. Nothing on failure, with `reason` saying why in English.
std::optional<Decoded> DecodePng(const QByteArray& bytes, QSize fitBox, QString& reason);
std::optional<Decoded> DecodeWebp(const QByteArray& bytes, QSize fitBox, QString& reason);
std::optional<Decoded> DecodeTiff(const QByteArray& bytes, QSize fitBox, QString& reason);
std::optional<Decoded> DecodeHeif(const QByteArray& bytes, QSize fitBox, QString& reason);
std::optional<Decoded> DecodeJxl(const QByteArray& bytes, QSize fitBox, QString& reason);

// Shared by the decoders.

/// True once libheif is set up for this process (done on the first call).
bool HeifReady();

/// True when a picture of `width` x `height` pixels may be decoded: both
/// positive and within kMaxOtherSide and kMaxOtherPixels.
bool DecodeAllowed(std::int64_t width, std::int64_t height);

/// `image` converted from the colour space of the ICC profile `icc` to
/// sRGB; left as it is when `icc` is empty, sRGB or not understood.
void ConvertToSrgb(QImage& image, const QByteArray& icc);
/// `image` converted from `space` to sRGB; left as it is when `space` is
/// invalid or sRGB.
void ConvertToSrgb(QImage& image, const QColorSpace& space);

/// The EXIF orientation (1..8) in `exif`, an EXIF block with or without its
/// "Exif\0\0" prefix; 1 when there is none.
int OrientationFromExif(const QByteArray& exif);

/// The size to decode a picture stored as `stored` at, when the format can
/// decode it smaller: about twice the size it is drawn at in `box` (the
/// resampler needs that room), never larger than `stored`. `orientation`
/// turns `stored` upright to fit it.
QSize ReducedDecodeSize(QSize stored, int orientation, QSize box);

/// The index of the thumbnail in `thumbnails` (upright sizes) to decode
/// instead of a picture of `upright` pixels fitted into `box`: the smallest
/// of the picture's shape that still leaves the resampler the room a reduced
/// decode leaves (twice the drawn size); -1 when none does or `box` is empty.
int ServingThumbnail(const QList<QSize>& thumbnails, QSize upright, QSize box);

} // namespace ostrovel::formats
