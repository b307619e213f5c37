#include "picture/jpegdec/ExifOrientation.h"

#include <QTransform>

#include <cstdint>

namespace ostrovel::jpegdec {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntrySize = 12;

class TiffReader {
public:
    TiffReader(const unsigned char* data, std::size_t size, bool littleEndian)
        : m_data(data), m_size(size), m_little(littleEndian) {}
    bool has(std::size_t offset, std::size_t length) const { return offset <= m_size && length <= m_size - offset; }
    std::uint16_t u16(std::size_t at) const
    {
        const unsigned a = m_data[at], b = m_data[at + 1];
        return std::uint16_t(m_little ? a | b << 8 : a << 8 | b);
    }
    std::uint32_t u32(std::size_t at) const
    {
        const std::uint32_t hi = u16(at), lo = u16(at + 2);
        return m_little ? lo << 16 | hi : hi << 16 | lo;
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    bool m_little;
};

int orientationInIfd(const TiffReader& tiff, std::size_t ifd)
{
    if (!tiff.has(ifd, 2))
        return 1;
    const unsigned entries = tiff.u16(ifd);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + i * kEntrySize;
        if (!tiff.has(entry, kEntrySize))
            return 1;
        if (tiff.u16(entry) != kOrientationTag)
            continue;
        if (tiff.u16(entry + 2) != kTypeShort || tiff.u32(entry + 4) != 1)
            return 1;
        const int value = tiff.u16(entry + 8); // a short sits left-aligned in the value field
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

} // namespace

int exifOrientation(const unsigned char* tiff, std::size_t size)
{
    if (!tiff || size < 8)
        return 1;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 1;
    const TiffReader reader(tiff, size, little);
    if (reader.u16(2) != 42)
        return 1;
    return orientationInIfd(reader, reader.u32(4));
}

QSize uprightSize(QSize stored, int orientation)
{
    return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored;
}

QImage turnUpright(QImage stored, int orientation)
{
    // Mirror first, then turn clockwise: 5 is a vertical flip turned by 90
    // degrees (the transpose), 7 a horizontal mirror turned by 90 degrees.
    const bool mirrorH = orientation == 2 || orientation == 3 || orientation == 7;
    const bool mirrorV = orientation == 3 || orientation == 4 || orientation == 5;
    if (mirrorH || mirrorV)
        stored = std::move(stored).mirrored(mirrorH, mirrorV);
    int degrees = 0;
    if (orientation >= 5 && orientation <= 7)
        degrees = 90;
    else if (orientation == 8)
        degrees = 270;
    if (degrees == 0)
        return stored;
    return stored.transformed(QTransform().rotate(degrees));
}

QRectF uprightArea(QRectF area, QSize storedSize, int orientation)
{
    const bool mirrorH = orientation == 2 || orientation == 3 || orientation == 7;
    const bool mirrorV = orientation == 3 || orientation == 4 || orientation == 5;
    const double w = storedSize.width(), h = storedSize.height();
    if (mirrorH)
        area.moveLeft(w - area.right());
    if (mirrorV)
        area.moveTop(h - area.bottom());
    if (orientation >= 5 && orientation <= 7) // clockwise: (x, y) goes to (h - y, x)
        return QRectF(h - area.bottom(), area.left(), area.height(), area.width());
    if (orientation == 8) // anticlockwise: (x, y) goes to (y, w - x)
        return QRectF(area.top(), w - area.right(), area.height(), area.width());
    return area;
}

} // namespace ostrovel::jpegdec
