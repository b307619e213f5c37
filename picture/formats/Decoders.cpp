#include "picture/formats/Decoders.h"
#include "picture/Limits.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <QColorSpace>
#include <QSizeF>

#include <algorithm>
#include <cmath>

namespace ostrovel::formats {

bool DecodeAllowed(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxOtherSide && height <= kMaxOtherSide
           && width * height <= kMaxOtherPixels;
}

void ConvertToSrgb(QImage& image, const QByteArray& icc)
{
    if (!icc.isEmpty())
        ConvertToSrgb(image, QColorSpace::fromIccProfile(icc));
}

void ConvertToSrgb(QImage& image, const QColorSpace& space)
{
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return;
    image.setColorSpace(space);
    image.convertToColorSpace(QColorSpace::SRgb);
    image.setColorSpace(QColorSpace());
}

int OrientationFromExif(const QByteArray& exif)
{
    const QByteArray tiff = exif.startsWith(QByteArrayLiteral("Exif\0\0")) ? exif.mid(6) : exif;
    return jpegdec::exifOrientation(reinterpret_cast<const unsigned char*>(tiff.constData()), std::size_t(tiff.size()));
}

namespace {

// Room left for the resampler: decoded size over drawn size.
constexpr double kReducedRoom = 2.0;

// Width and height in pixels of a picture of `upright` pixels fitted into `box`.
QSizeF drawnSize(QSize upright, QSize box)
{
    const double scale = std::min(double(box.width()) / upright.width(), double(box.height()) / upright.height());
    return {std::max(1.0, std::round(upright.width() * scale)), std::max(1.0, std::round(upright.height() * scale))};
}

// The same shape within a pixel's rounding.
bool sameShape(QSize a, QSize b)
{
    return std::abs(qint64(a.width()) * b.height() - qint64(a.height()) * b.width()) <= std::max(b.width(), b.height());
}

} // namespace

int ServingThumbnail(const QList<QSize>& thumbnails, QSize upright, QSize box)
{
    if (box.isEmpty() || upright.isEmpty())
        return -1;
    const QSizeF drawn = drawnSize(upright, box);
    int best = -1;
    for (int i = 0; i < thumbnails.size(); ++i) {
        const QSize t = thumbnails[i];
        if (t.isEmpty() || !sameShape(t, upright) || t.width() >= upright.width()
            || t.width() < kReducedRoom * drawn.width() || t.height() < kReducedRoom * drawn.height())
            continue;
        if (best < 0 || t.width() < thumbnails[best].width())
            best = i;
    }
    return best;
}

QSize ReducedDecodeSize(QSize stored, int orientation, QSize box)
{
    const QSize upright = jpegdec::uprightSize(stored, orientation);
    if (box.isEmpty() || upright.isEmpty())
        return stored;
    const double scale = std::min(double(box.width()) / upright.width(), double(box.height()) / upright.height());
    // Twice the drawn size, as a fraction of the stored size.
    const double factor = std::min(1.0, kReducedRoom * scale);
    if (factor >= 0.5)
        return stored; // too little to gain
    const int width = std::max(1, int(std::ceil(stored.width() * factor)));
    const int height = std::max(1, int(std::ceil(stored.height() * factor)));
    return QSize(width, height);
}

} // namespace ostrovel::formats
