// The encoder's front: brings a picture into a pixel layout libjpeg reads.

#include "jpeg/JpegEncode.h"

#include "jpeg/JpegCompress.h"

#include <QSysInfo>

namespace ostrovel {

namespace {

using detail::PixelLayout;

// The layout in which `format` holds its pixels when libjpeg can read them
// as they are, with the same result as converting to Format_RGB32 first
// (for ARGB32 that conversion drops alpha too; premultiplied formats are
// unpremultiplied by it, so they are converted).
bool directLayout(QImage::Format format, PixelLayout& layout)
{
    constexpr bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        layout = littleEndian ? PixelLayout::Bgrx : PixelLayout::Xrgb;
        break;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        layout = PixelLayout::Rgbx;
        break;
    case QImage::Format_RGB888:
        layout = PixelLayout::Rgb;
        break;
    case QImage::Format_BGR888:
        layout = PixelLayout::Bgr;
        break;
    default:
        return false;
    }
    return detail::layoutSupported(layout);
}

// Brings `image` into a layout libjpeg reads; a null result means the
// conversion could not allocate its copy.
QImage readableImage(const QImage& image, PixelLayout& layout)
{
    if (directLayout(image.format(), layout))
        return image;
    const QImage::Format target =
        detail::layoutSupported(PixelLayout::Bgrx) ? QImage::Format_RGB32 : QImage::Format_RGB888;
    QImage converted = image.convertToFormat(target);
    directLayout(target, layout);
    return converted;
}

} // namespace

int EncodeJpeg(const QImage& image, int quality, QByteArray& out)
{
    out.clear();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return kStatusInvalidParameter;
    PixelLayout layout = PixelLayout::Rgb;
    const QImage readable = readableImage(image, layout);
    if (readable.isNull())
        return kStatusOutOfMemory;
    detail::PixelRows rows;
    rows.bits = readable.constBits(); // constBits: no detach of a shared image
    rows.bytesPerLine = readable.bytesPerLine();
    rows.width = readable.width();
    rows.height = readable.height();
    rows.layout = layout;
    return detail::compressJpeg(rows, qBound(0, quality, 100), out);
}

} // namespace ostrovel
