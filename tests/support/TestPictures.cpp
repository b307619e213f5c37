#include "TestPictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>
#include <cmath>

namespace testpics {

QImage photoLike(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const int r = int(127 + 120 * std::sin(6.0 * u + seed));
            const int g = int(127 + 120 * std::cos(5.0 * v + 0.5 * seed));
            const int b = ((x / 37 + y / 23 + seed) % 3) * 100; // hard edges
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

QByteArray jpeg(const QImage& image, int quality, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray withExifOrientation(const QByteArray& jpegBytes, int orientation)
{
    // Big-endian TIFF with one IFD entry: Orientation (0x0112), SHORT, 1 value.
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);
    tiff += char(0);
    tiff += char(orientation);
    tiff += QByteArray(2, 0);
    tiff += QByteArray(4, 0); // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    const quint16 length = quint16(payload.size() + 2);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += payload;
    return jpegBytes.left(2) + segment + jpegBytes.mid(2);
}

QByteArray bmp(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

namespace {

void put16(QByteArray& out, int v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

// LZW data made of literal codes only, with a clear code often enough that
// the code width stays at 9 bits.
QByteArray lzwLiterals(const QImage& frame)
{
    QByteArray codes;
    quint32 bitBuffer = 0;
    int bits = 0;
    const auto emit = [&](int code) {
        bitBuffer |= quint32(code) << bits;
        bits += 9;
        while (bits >= 8) {
            codes += char(bitBuffer & 0xFF);
            bitBuffer >>= 8;
            bits -= 8;
        }
    };
    int sinceClear = 0;
    emit(256);
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            if (sinceClear == 250) {
                emit(256);
                sinceClear = 0;
            }
            emit(frame.pixelIndex(x, y));
            ++sinceClear;
        }
    emit(257);
    if (bits > 0)
        codes += char(bitBuffer & 0xFF);
    QByteArray blocks;
    blocks += char(8);
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray chunk = codes.mid(i, 255);
        blocks += char(chunk.size());
        blocks += chunk;
    }
    blocks += char(0);
    return blocks;
}

} // namespace

QByteArray gif(const QList<QImage>& frames, const QList<QRgb>& palette, int transparentIndex)
{
    QByteArray out("GIF89a");
    put16(out, frames.first().width());
    put16(out, frames.first().height());
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
    for (const QImage& frame : frames) {
        out += QByteArray("\x21\xF9\x04", 3);
        out += char(transparentIndex >= 0 ? 0x05 : 0x04); // restore-to-background disposal
        put16(out, 10);
        out += char(transparentIndex >= 0 ? transparentIndex : 0);
        out += char(0);
        out += char(0x2C);
        put16(out, 0);
        put16(out, 0);
        put16(out, frame.width());
        put16(out, frame.height());
        out += char(0);
        out += lzwLiterals(frame);
    }
    out += char(0x3B);
    return out;
}

namespace {

void record(QByteArray& out, int function, const QList<int>& params)
{
    const int words = 3 + int(params.size());
    put16(out, words & 0xFFFF);
    put16(out, words >> 16);
    put16(out, function);
    for (int p : params)
        put16(out, p);
}

} // namespace

QByteArray wmfWithRectangle(double inchesW, double inchesH, QRect box, QColor colour)
{
    const int w = int(std::lround(inchesW * 1440)), h = int(std::lround(inchesH * 1440));
    QByteArray placeable;
    put16(placeable, 0xCDD7);
    put16(placeable, 0x9AC6);
    put16(placeable, 0); // handle
    for (int v : {0, 0, w, h})
        put16(placeable, v);
    put16(placeable, 1440);
    put16(placeable, 0);
    put16(placeable, 0); // reserved dword
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(placeable.constData() + 2 * i);
    put16(placeable, checksum);

    QByteArray records;
    record(records, 0x020B, {0, 0});          // SetWindowOrg(y, x)
    record(records, 0x020C, {h, w});          // SetWindowExt(y, x)
    const int rgbLow = colour.red() | (colour.green() << 8);
    record(records, 0x02FC, {0, rgbLow, colour.blue(), 0}); // CreateBrushIndirect: solid
    record(records, 0x012D, {0});             // SelectObject(0)
    record(records, 0x02FA, {5, 0, 0, rgbLow, colour.blue()}); // CreatePenIndirect: null pen
    record(records, 0x012D, {1});
    record(records, 0x041B, {box.bottom() + 1, box.right() + 1, box.top(), box.left()}); // Rectangle
    record(records, 0x0000, {});              // EOF

    QByteArray header;
    put16(header, 1);  // in memory... type 1
    put16(header, 9);  // header words
    put16(header, 0x0300);
    const int total = 9 + int(records.size() / 2);
    put16(header, total & 0xFFFF);
    put16(header, total >> 16);
    put16(header, 2);  // objects
    put16(header, 8);  // largest record, low and high word
    put16(header, 0);
    put16(header, 0);  // parameters
    return placeable + header + records;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

int maxChannelDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

} // namespace testpics
