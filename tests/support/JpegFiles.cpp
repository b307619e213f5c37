#include "tests/support/JpegFiles.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace ostrovel::test {

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
    if (options.restartMcus > 0)
        cinfo.restart_interval = unsigned(options.restartMcus);
    cinfo.optimize_coding = options.optimizeCoding;
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

namespace {

using HuffmanCounts = std::array<quint8, 16>;

// The example tables of JPEG Annex K (K.3), which libjpeg writes unless the
// Huffman coding is optimized: DC luminance, DC chrominance, AC luminance,
// AC chrominance; only the code counts per length are compared.
bool isAnnexKTable(const HuffmanCounts& counts)
{
    static const std::array<HuffmanCounts, 4> annexK = {{
        {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
        {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
        {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    }};
    return std::find(annexK.begin(), annexK.end(), counts) != annexK.end();
}

int byteAt(const QByteArray& data, qsizetype i)
{
    return static_cast<quint8>(data.at(i));
}

void readFrame(const QByteArray& segment, JpegLayout& layout)
{
    if (segment.size() < 6)
        return;
    layout.precision = byteAt(segment, 0);
    layout.height = byteAt(segment, 1) << 8 | byteAt(segment, 2);
    layout.width = byteAt(segment, 3) << 8 | byteAt(segment, 4);
    const int components = byteAt(segment, 5);
    for (int c = 0; c < components && 6 + 3 * c + 2 < segment.size(); ++c)
        layout.sampling.append(byteAt(segment, 6 + 3 * c + 1));
}

void readHuffmanTables(const QByteArray& segment, JpegLayout& layout)
{
    qsizetype at = 0;
    while (at + 17 <= segment.size()) {
        HuffmanCounts counts{};
        int symbols = 0;
        for (int i = 0; i < 16; ++i) {
            counts[size_t(i)] = quint8(byteAt(segment, at + 1 + i));
            symbols += counts[size_t(i)];
        }
        ++layout.huffmanTables;
        if (isAnnexKTable(counts))
            ++layout.standardHuffmanTables;
        at += 17 + symbols;
    }
}

bool isFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

JpegLayout readJpegLayout(const QByteArray& jpeg)
{
    JpegLayout layout;
    if (jpeg.size() < 4 || byteAt(jpeg, 0) != 0xFF || byteAt(jpeg, 1) != 0xD8)
        return layout;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && byteAt(jpeg, at) == 0xFF) {
        const int marker = byteAt(jpeg, at + 1);
        const int length = byteAt(jpeg, at + 2) << 8 | byteAt(jpeg, at + 3);
        const QByteArray segment = jpeg.mid(at + 4, length - 2);
        layout.markers.append(marker);
        if (isFrameMarker(marker)) {
            layout.frameMarker = marker;
            readFrame(segment, layout);
        } else if (marker == 0xC4) {
            readHuffmanTables(segment, layout);
        } else if (marker == 0xDA) {
            layout.valid = true;
            break;
        }
        at += 2 + length;
    }
    return layout;
}

} // namespace ostrovel::test
