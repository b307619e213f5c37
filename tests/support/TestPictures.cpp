#include "tests/support/TestPictures.h"

#include "tests/support/GifLiterals.h"
#include "tests/support/JpegFiles.h"
#include "tests/support/LittleEndian.h"
#include "tests/support/WmfWriter.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace ostrovel::test {

QImage photoLike(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    const int shift = (seed * 37) % 61;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = ((x + 13 * seed) * 7919 + y * 104729) % 17; // sensor-like
            const int edge = (x > width / 3 && y > height / 2) ? 60 : 0;
            line[x] = qRgb(qBound(0, 60 + shift + x * 150 / width + noise + edge, 255),
                           qBound(0, 90 + y * 120 / height + noise, 255),
                           qBound(0, 180 - shift - x * 100 / width + noise - edge, 255));
        }
    }
    return image;
}

QImage quadrants(int width, int height, QRgb topLeft, QRgb topRight, QRgb bottomLeft, QRgb bottomRight)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            image.setPixel(x, y, bottom ? (right ? bottomRight : bottomLeft) : (right ? topRight : topLeft));
        }
    return image;
}

namespace {

QRgb blocksPixel(int x, int y, int width, int height)
{
    const bool middleX = 3 * x >= width && 3 * x < 2 * width;
    const bool middleY = 3 * y >= height && 3 * y < 2 * height;
    if (middleX && middleY) {
        static const std::array<QRgb, 4> blocks = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 255, 0),
                                                   qRgb(255, 0, 255)};
        return blocks[size_t(((x / 4) + (y / 4)) % 4)];
    }
    const int r = width > 1 ? x * 255 / (width - 1) : 128;
    const int g = height > 1 ? y * 255 / (height - 1) : 64;
    const int b = 255 - (r + g) / 2;
    return qRgb(r, g, b);
}

} // namespace

QImage gradientWithBlocks(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = blocksPixel(x, y, width, height);
    }
    return picture;
}

QByteArray jpeg(const QImage& image, int quality, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        std::abort();
    return bytes;
}

QByteArray withExifOrientation(const QByteArray& jpegBytes, int orientation)
{
    return withSegment(jpegBytes, 0xE1, exifPayload(orientation, false));
}

QByteArray bmp(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

QByteArray rle8Bmp(QSize size, const QList<QRgb>& palette, const QByteArray& data)
{
    constexpr int kHeaders = 14 + 40, kPaletteBytes = 256 * 4;
    QByteArray b(kHeaders + kPaletteBytes, 0);
    b[0] = 'B';
    b[1] = 'M';
    setLe32(b, 10, kHeaders + kPaletteBytes); // where the pixel data starts
    setLe32(b, 14, 40);
    setLe32(b, 18, std::uint32_t(size.width()));
    setLe32(b, 22, std::uint32_t(size.height()));
    setLe16(b, 26, 1); // planes
    setLe16(b, 28, 8); // bits a pixel
    setLe32(b, 30, 1); // RLE8
    for (qsizetype i = 0; i < std::min<qsizetype>(palette.size(), 256); ++i)
        setLe32(b, kHeaders + 4 * i, palette[i] & 0xFFFFFF); // blue, green, red, 0
    b += data;
    setLe32(b, 2, std::uint32_t(b.size()));
    return b;
}

namespace {

// One frame: a graphic control extension, an image descriptor covering the
// screen and the frame's indices, 8 bits each.
void appendGifFrame(QByteArray& out, const QImage& frame, int transparentIndex)
{
    out += QByteArray("\x21\xF9\x04", 3);
    out += char(transparentIndex >= 0 ? 0x05 : 0x04); // restore-to-background disposal
    appendLe16(out, 10);
    out += char(transparentIndex >= 0 ? transparentIndex : 0);
    out += char(0);
    out += char(0x2C);
    appendLe16(out, 0);
    appendLe16(out, 0);
    appendLe16(out, std::uint32_t(frame.width()));
    appendLe16(out, std::uint32_t(frame.height()));
    out += char(0);
    QList<int> indices;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            indices << frame.pixelIndex(x, y);
    out += gifLzwLiterals(indices, 8);
}

} // namespace

QByteArray gif(const QList<QImage>& frames, const QList<QRgb>& palette, int transparentIndex)
{
    QByteArray out("GIF89a");
    appendLe16(out, std::uint32_t(frames.first().width()));
    appendLe16(out, std::uint32_t(frames.first().height()));
    out += char(0xF7); // global table of 256 entries
    out += char(0);
    out += char(0);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : 0;
        out += char(qRed(c));
        out += char(qGreen(c));
        out += char(qBlue(c));
    }
    if (frames.size() > 1)
        out += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19);
    for (const QImage& frame : frames)
        appendGifFrame(out, frame, transparentIndex);
    out += char(0x3B);
    return out;
}

QByteArray wmfWithRectangle(double inchesW, double inchesH, QRect unitsBox, QColor colour)
{
    constexpr int kSolidBrush = 0, kNullPen = 5;
    const QRect whole(0, 0, int(std::lround(inchesW * 1440)), int(std::lround(inchesH * 1440)));
    wmftest::WmfWriter writer;
    writer.placeable(whole, 1440).window(whole);
    writer.brush(kSolidBrush, colour).select(0).pen(kNullPen, 0, colour).select(1).rectangle(unitsBox);
    return writer.bytes(2);
}

} // namespace ostrovel::test
