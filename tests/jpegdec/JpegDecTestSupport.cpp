#include "JpegDecTestSupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace ostrovel::test {

QImage photoLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const int r = int(127 + 120 * std::sin(9.0 * u + 2.0 * v));
            const int g = int(127 + 120 * std::cos(7.0 * v - 3.0 * u));
            const int b = ((x / 37 + y / 23) % 3) * 110;
            line[x] = qRgb(r, g, std::min(b + (x * y) % 31, 255));
        }
    }
    return image;
}

QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const QRgb colour = bottom ? (right ? qRgb(255, 255, 0) : qRgb(0, 0, 255))
                                       : (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0));
            image.setPixel(x, y, colour);
        }
    return image;
}

QByteArray qtJpeg(const QImage& image, int quality, bool progressive)
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

namespace {

// One row of `image` in the compressor's input layout.
void packRow(const QImage& image, int y, Colour colour, unsigned char* out)
{
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
        const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
        if (colour == Colour::Gray) {
            *out++ = static_cast<unsigned char>(qGray(line[x]));
        } else if (colour == Colour::Rgb) {
            *out++ = r, *out++ = g, *out++ = b;
        } else {
            // Inverted CMYK: K is the brightest channel, C, M, Y scale it.
            const int k = std::max({r, g, b});
            const auto part = [k](int c) { return k == 0 ? 0 : (c * 255 + k / 2) / k; };
            *out++ = part(r), *out++ = part(g), *out++ = part(b), *out++ = k;
        }
    }
}

void setUpCompressor(jpeg_compress_struct& cinfo, const QImage& image, const EncodeOptions& options)
{
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    const bool fourChannels = options.colour == Colour::Cmyk || options.colour == Colour::Ycck;
    cinfo.input_components = options.colour == Colour::Gray ? 1 : fourChannels ? 4 : 3;
    cinfo.in_color_space = options.colour == Colour::Gray ? JCS_GRAYSCALE : fourChannels ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (options.colour == Colour::Cmyk)
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.colour == Colour::Rgb) {
        cinfo.comp_info[0].h_samp_factor = options.lumaH;
        cinfo.comp_info[0].v_samp_factor = options.lumaV;
    }
    cinfo.restart_in_rows = options.restartRows;
    cinfo.arith_code = options.arithmetic;
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
}

} // namespace

QByteArray libjpegJpeg(const QImage& image, const EncodeOptions& options)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors); // a test picture that fails to encode ends the test run
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    setUpCompressor(cinfo, image, options);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(std::size_t(image.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        packRow(image, int(cinfo.next_scanline), options.colour, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    return bytes;
}

QByteArray withSegment(const QByteArray& jpeg, int marker, const QByteArray& payload)
{
    const int length = int(payload.size()) + 2;
    QByteArray segment;
    segment += char(0xFF);
    segment += char(marker);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray exifPayload(int orientation, bool littleEndian)
{
    QByteArray tiff;
    const auto put16 = [&](int v) {
        const char hi = char(v >> 8), lo = char(v & 0xFF);
        tiff += littleEndian ? lo : hi;
        tiff += littleEndian ? hi : lo;
    };
    const auto put32 = [&](quint32 v) {
        put16(int(littleEndian ? v & 0xFFFF : v >> 16));
        put16(int(littleEndian ? v >> 16 : v & 0xFFFF));
    };
    tiff += littleEndian ? "II" : "MM";
    put16(42);
    put32(8);
    put16(2);                          // entries
    put16(0x010F), put16(2), put32(4); // Make, ASCII, 4 bytes inline
    tiff += QByteArray("Cam", 4);
    put16(0x0112), put16(3), put32(1); // Orientation, SHORT, 1 value
    put16(orientation), put16(0);
    put32(0); // no next IFD
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray iccPayload(const QByteArray& profile)
{
    return QByteArray("ICC_PROFILE\0\x01\x01", 14) + profile;
}

qsizetype segmentAt(const QByteArray& jpeg, int marker)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(jpeg[i]); };
    for (qsizetype i = 2; i + 3 < jpeg.size() && byte(i) == 0xFF && byte(i + 1) != 0xDA;) {
        if (byte(i + 1) == marker)
            return i;
        i += 2 + (byte(i + 2) << 8 | byte(i + 3));
    }
    return -1;
}

QByteArray withFrameSize(const QByteArray& jpeg, int width, int height)
{
    qsizetype at = segmentAt(jpeg, 0xC0);
    if (at < 0)
        at = segmentAt(jpeg, 0xC2);
    if (at < 0)
        std::abort(); // the test pictures always have one of these
    QByteArray out = jpeg;
    out[at + 5] = char(height >> 8), out[at + 6] = char(height & 0xFF);
    out[at + 7] = char(width >> 8), out[at + 8] = char(width & 0xFF);
    return out;
}

QImage qtDecode(const QByteArray& jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

int maxDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])),
                              std::abs(qGreen(p[col]) - qGreen(q[col])), std::abs(qBlue(p[col]) - qBlue(q[col]))});
        }
    }
    return worst;
}

} // namespace ostrovel::test
