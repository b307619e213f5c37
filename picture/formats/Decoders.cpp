#include "picture/formats/Decoders.h"
#include "picture/Limits.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <QColorSpace>

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
    if (icc.isEmpty())
        return;
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
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

QSize ReducedDecodeSize(QSize stored, int orientation, QSize box)
{
    const QSize upright = jpegdec::uprightSize(stored, orientation);
    if (box.isEmpty() || upright.isEmpty())
        return stored;
    const double scale = std::min(double(box.width()) / upright.width(), double(box.height()) / upright.height());
    // Twice the drawn size, as a fraction of the stored size.
    const double factor = std::min(1.0, 2 * scale);
    if (factor >= 0.5)
        return stored; // too little to gain
    const int width = std::max(1, int(std::ceil(stored.width() * factor)));
    const int height = std::max(1, int(std::ceil(stored.height() * factor)));
    return QSize(width, height);
}

} // namespace ostrovel::formats
