// BMP seeds written byte by byte: every bit depth, the core, info, V4 and V5
// headers, bit fields, RLE8 and RLE4 (runs, absolute runs, deltas),
// top-down rows, and headers that claim what the file cannot hold.

#include "fuzz/seeds/Seeds.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace ostrovel::seeds {
namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3;

struct Masks {
    std::uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

struct Header {
    int bytes = 40;  // 12 (core), 40, 52, 56, 108, 124
    std::int32_t width = 8;
    std::int32_t height = 6; // negative: top-down
    unsigned bitCount = 24;
    std::uint32_t compression = kRgb;
    std::uint32_t coloursUsed = 0;
    Masks masks;
    unsigned planes = 1;
};

QByteArray infoHeader(const Header& h)
{
    QByteArray out;
    appendLe32(out, std::uint32_t(h.bytes));
    if (h.bytes == 12) {
        appendLe16(out, unsigned(h.width));
        appendLe16(out, unsigned(h.height));
        appendLe16(out, h.planes);
        appendLe16(out, h.bitCount);
        return out;
    }
    appendLe32(out, std::uint32_t(h.width));
    appendLe32(out, std::uint32_t(h.height));
    appendLe16(out, h.planes);
    appendLe16(out, h.bitCount);
    appendLe32(out, h.compression);
    appendLe32(out, 0); // image size: may be 0 for uncompressed rows
    appendLe32(out, 2835);
    appendLe32(out, 2835);
    appendLe32(out, h.coloursUsed);
    appendLe32(out, 0);
    if (h.bytes >= 52) {
        appendLe32(out, h.masks.red);
        appendLe32(out, h.masks.green);
        appendLe32(out, h.masks.blue);
    }
    if (h.bytes >= 56)
        appendLe32(out, h.masks.alpha);
    if (h.bytes >= 108)
        appendLe32(out, 0x73524742); // 'sRGB'
    out.append(QByteArray(h.bytes - out.size(), '\0'));
    return out;
}

QByteArray palette(int colours, bool core)
{
    QByteArray out;
    for (int i = 0; i < colours; ++i) {
        out += char((i * 53) & 0xFF);
        out += char((i * 97 + 40) & 0xFF);
        out += char((255 - i * 29) & 0xFF);
        if (!core)
            out += char(0);
    }
    return out;
}

// Rows packed at `bitCount` bits a pixel, each padded to 4 bytes.
QByteArray packedRows(int width, int rows, unsigned bitCount, const std::function<std::uint32_t(int, int)>& value)
{
    QByteArray out;
    for (int y = 0; y < rows; ++y) {
        QByteArray row;
        unsigned acc = 0, bits = 0;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            if (bitCount < 8) {
                acc = (acc << bitCount) | (v & ((1u << bitCount) - 1));
                bits += bitCount;
                if (bits == 8) {
                    row += char(acc);
                    acc = bits = 0;
                }
            } else {
                for (unsigned b = 0; b < bitCount; b += 8)
                    row += char((v >> b) & 0xFF);
            }
        }
        if (bits > 0)
            row += char(acc << (8 - bits));
        out += row + QByteArray((4 - row.size() % 4) % 4, '\0');
    }
    return out;
}

QByteArray bmpFile(const Header& h, const QByteArray& colours, const QByteArray& bits, std::int64_t offsetShift = 0)
{
    const QByteArray dib = infoHeader(h) + colours;
    QByteArray out("BM");
    appendLe32(out, std::uint32_t(14 + dib.size() + bits.size()));
    appendLe32(out, 0);
    appendLe32(out, std::uint32_t(14 + dib.size() + offsetShift));
    return out + dib + bits;
}

std::uint32_t indexAt(int x, int y, int colours)
{
    return std::uint32_t((x / 3 + y) % colours);
}

std::uint32_t rgbAt(int x, int y)
{
    static const QImage picture = photoLike(8, 6);
    return picture.pixel(x % 8, y % 6) & 0xFFFFFF;
}

QByteArray indexed(Header h, int colours = 0)
{
    const int entries = colours ? colours : 1 << h.bitCount;
    h.coloursUsed = std::uint32_t(colours);
    const auto value = [entries](int x, int y) { return indexAt(x, y, entries); };
    return bmpFile(h, palette(entries, h.bytes == 12), packedRows(h.width, std::abs(h.height), h.bitCount, value));
}

// An info header's bit fields follow it like a palette.
QByteArray separateMasks(const Header& h)
{
    QByteArray out;
    if (h.compression != kBitfields || h.bytes != 40)
        return out;
    appendLe32(out, h.masks.red);
    appendLe32(out, h.masks.green);
    appendLe32(out, h.masks.blue);
    return out;
}

QByteArray direct(const Header& h, const std::function<std::uint32_t(int, int)>& value)
{
    return bmpFile(h, separateMasks(h), packedRows(h.width, std::abs(h.height), h.bitCount, value));
}

std::uint32_t rgb555(int x, int y)
{
    const std::uint32_t c = rgbAt(x, y);
    return ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F);
}

std::uint32_t rgb565(int x, int y)
{
    const std::uint32_t c = rgbAt(x, y);
    return ((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F);
}

// Rows of runs of 3 pixels; the first row starts with an absolute run, and
// `delta` adds a jump over part of the picture.
QByteArray rle8(int width, int rows, bool delta)
{
    QByteArray out;
    for (int y = 0; y < rows; ++y) {
        int x = 0;
        if (y == 0) {
            out += QByteArray("\0\x05\x01\x02\x03\x02\x01\0", 8); // absolute, padded to a word
            x = 5;
        }
        if (delta && y == 2) {
            out += QByteArray("\0\x02\x02\x01", 4); // two right, one up
            break;
        }
        for (; x < width; x += 3) {
            out += char(std::min(3, width - x));
            out += char(indexAt(x, y, 4));
        }
        out += QByteArray("\0\0", 2);
    }
    return out + QByteArray("\0\x01", 2);
}

QByteArray rle4(int width, int rows)
{
    QByteArray out;
    for (int y = 0; y < rows; ++y) {
        if (y == 0) {
            out += QByteArray("\0\x05\x12\x34\x50\0", 6); // five pixels, three bytes, padded
            out += char(width - 5);
            out += char(0x67);
        } else {
            out += char(width);
            out += char(0x10 + y);
        }
        out += QByteArray("\0\0", 2);
    }
    return out + QByteArray("\0\x01", 2);
}

QByteArray compressed(Header h, const QByteArray& bits)
{
    const int colours = h.compression == kRle8 ? 4 : 16;
    h.coloursUsed = std::uint32_t(colours);
    return bmpFile(h, palette(colours, false), bits);
}

void addDepths(SeedSink& sink)
{
    sink.add("bmp", "1bit.bmp", indexed({.width = 13, .height = 5, .bitCount = 1}));
    sink.add("bmp", "4bit.bmp", indexed({.width = 7, .height = 5, .bitCount = 4}));
    sink.add("bmp", "8bit.bmp", indexed({.bitCount = 8}));
    sink.add("bmp", "8bit-4-colours.bmp", indexed({.bitCount = 8}, 4));
    sink.add("bmp", "16bit-555.bmp", direct({.width = 5, .bitCount = 16}, rgb555));
    sink.add("bmp", "16bit-565-bitfields.bmp",
             direct({.width = 5, .bitCount = 16, .compression = kBitfields, .masks = {0xF800, 0x07E0, 0x001F}},
                    rgb565));
    sink.add("bmp", "24bit.bmp", direct({.width = 7}, rgbAt));
    sink.add("bmp", "24bit-one-pixel.bmp", direct({.width = 1, .height = 1}, rgbAt));
    sink.add("bmp", "32bit.bmp", direct({.bitCount = 32}, rgbAt));
    const Masks argb{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const auto withAlpha = [](int x, int y) { return rgbAt(x, y) | std::uint32_t((x * 40) & 0xFF) << 24; };
    sink.add("bmp", "32bit-v4-alpha.bmp",
             direct({.bytes = 108, .bitCount = 32, .compression = kBitfields, .masks = argb}, withAlpha));
    sink.add("bmp", "32bit-v5.bmp", direct({.bytes = 124, .bitCount = 32, .compression = kBitfields, .masks = argb},
                                           withAlpha));
    sink.add("bmp", "32bit-v3-alpha-56.bmp",
             direct({.bytes = 56, .bitCount = 32, .compression = kBitfields, .masks = argb}, withAlpha));
    sink.add("bmp", "24bit-top-down.bmp", direct({.width = 7, .height = -6}, rgbAt));
    sink.add("bmp", "8bit-top-down.bmp", indexed({.height = -6, .bitCount = 8}));
    sink.add("bmp", "core-8bit.bmp", indexed({.bytes = 12, .bitCount = 8}));
    sink.add("bmp", "core-24bit.bmp", direct({.bytes = 12, .width = 5}, rgbAt));
}

void addRunLengths(SeedSink& sink)
{
    sink.add("bmp", "rle8.bmp", compressed({.width = 11, .bitCount = 8, .compression = kRle8}, rle8(11, 6, false)));
    sink.add("bmp", "rle8-delta.bmp",
             compressed({.width = 11, .bitCount = 8, .compression = kRle8}, rle8(11, 6, true)));
    sink.add("bmp", "rle4.bmp", compressed({.width = 9, .bitCount = 4, .compression = kRle4}, rle4(9, 5)));
    sink.add("bmp", "rle8-top-down.bmp",
             compressed({.width = 11, .height = -6, .bitCount = 8, .compression = kRle8}, rle8(11, 6, false)));
    sink.add("bmp", "rle8-run-past-row.bmp",
             compressed({.width = 4, .bitCount = 8, .compression = kRle8}, QByteArray("\xFF\x01\0\x01", 4)));
    sink.add("bmp", "rle8-delta-past-end.bmp",
             compressed({.width = 4, .bitCount = 8, .compression = kRle8}, QByteArray("\0\x02\xFF\xFF\x03\x01", 6)));
    sink.add("bmp", "rle8-no-end.bmp",
             compressed({.width = 11, .bitCount = 8, .compression = kRle8}, rle8(11, 6, false).chopped(6)));
    sink.add("bmp", "rle8-claims-16000-square.bmp",
             compressed({.width = 16000, .height = 16000, .bitCount = 8, .compression = kRle8},
                        QByteArray("\x04\x01\0\x01", 4)));
    sink.add("bmp", "rle4-claims-16000-square.bmp",
             compressed({.width = 16000, .height = 16000, .bitCount = 4, .compression = kRle4},
                        QByteArray("\x04\x12\0\x01", 4)));
}

void addBroken(SeedSink& sink)
{
    const QByteArray good = direct({.width = 7}, rgbAt);
    sink.add("bmp", "cut-short.bmp", good.left(good.size() - 20));
    sink.add("bmp", "cut-in-header.bmp", good.left(30));
    sink.add("bmp", "offset-beyond-file.bmp", bmpFile({.width = 7}, {}, packedRows(7, 6, 24, rgbAt), 10000));
    sink.add("bmp", "offset-in-header.bmp", bmpFile({.width = 7}, {}, packedRows(7, 6, 24, rgbAt), -30));
    sink.add("bmp", "claims-60000-square.bmp", bmpFile({.width = 60000, .height = 60000}, {}, QByteArray(160, '\x40')));
    sink.add("bmp", "width-zero.bmp", bmpFile({.width = 0}, {}, QByteArray(64, '\x40')));
    sink.add("bmp", "8bit-colours-used-huge.bmp", indexed({.bitCount = 8}, 300).left(600));
    sink.add("bmp", "bitfields-zero-masks.bmp", direct({.bitCount = 32, .compression = kBitfields}, rgbAt));
    sink.add("bmp", "bitfields-overlapping.bmp",
             direct({.bitCount = 16, .compression = kBitfields, .masks = {0xFFFF, 0x0FF0, 0x8001}}, rgb565));
    sink.add("bmp", "2bit.bmp", indexed({.bitCount = 2}));
    sink.add("bmp", "jpeg-compression.bmp", direct({.compression = 4}, rgbAt));
    sink.add("bmp", "two-planes.bmp", direct({.planes = 2}, rgbAt));
    sink.add("bmp", "header-64.bmp", direct({.bytes = 64}, rgbAt));
}

} // namespace

void makeBmpSeeds(SeedSink& sink)
{
    addDepths(sink);
    addRunLengths(sink);
    addBroken(sink);
}

} // namespace ostrovel::seeds
