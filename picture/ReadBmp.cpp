#include "picture/ReadBmp.h"
#include "picture/BmpBitfields.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdlib>

namespace ostrovel {

QImage ReadBmp(QByteArray& bytes, int allocationLimitMb)
{
    if (IsBitfieldBmp(bytes))
        return DecodeBitfieldBmp(bytes);
    NormalizeBmpHeader(bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAllocationLimit(allocationLimitMb);
    // Qt's decoder leaves the pixels it skips as the memory held before, and
    // fills a picture it is handed when the size and format match: it gets
    // one cleared to palette index 0 (black, for a picture without palette).
    QImage image;
    const QSize claimed = reader.size(); // a top-down BMP's height is negative
    const QSize size(claimed.width(), std::abs(claimed.height()));
    const QImage::Format format = reader.imageFormat();
    if (!size.isEmpty() && format != QImage::Format_Invalid) {
        const qint64 bits = QImage::toPixelFormat(format).bitsPerPixel();
        const qint64 bytes = (size.width() * bits + 31) / 32 * 4 * size.height();
        if (bytes <= (qint64(allocationLimitMb) << 20)) { // larger ones the reader refuses
            image = QImage(size, format);
            image.fill(0);
        }
    }
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace ostrovel
