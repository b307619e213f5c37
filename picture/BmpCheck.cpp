#include "picture/RasterChecks.h"

#include <QtEndian>

#include <cstdlib>

namespace ostrovel {
namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint8 u8(const QByteArray& b, qsizetype at)
{
    return quint8(b.at(at));
}

bool knownLayout(int bpp, quint32 compression)
{
    switch (compression) {
    case 0:
        return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    case 1:
        return bpp == 8; // RLE8
    case 2:
        return bpp == 4; // RLE4
    case 3:
        return bpp == 16 || bpp == 32; // bit fields
    default:
        return false;
    }
}

// Walks run-length data: complete when it reaches the end marker, or an
// end of line after the last row, before the file ends.
bool runsComplete(const QByteArray& d, qsizetype at, qint64 height, bool fourBit)
{
    qint64 row = 0;
    while (at + 1 < d.size()) {
        const int count = u8(d, at), code = u8(d, at + 1);
        at += 2;
        if (count > 0)
            continue; // a run of one colour
        if (code == 0 && ++row >= height)
            return true; // end of the last line
        if (code == 1)
            return true; // end of bitmap
        if (code == 2) { // move by dx, dy
            if (at + 2 > d.size())
                return false;
            row += u8(d, at + 1);
            at += 2;
            if (row >= height)
                return true;
        } else if (code > 2) { // literal pixels, padded to a word
            const qint64 bytes = fourBit ? (code + 1) / 2 : code;
            at += bytes + (bytes & 1);
        }
    }
    return false;
}

} // namespace

bool PlausibleBmp(const QByteArray& file)
{
    if (file.size() < 26 || !file.startsWith("BM"))
        return false;
    const quint32 offset = u32(file, 10);
    const quint32 dibSize = u32(file, 14);
    qint64 width = 0, height = 0;
    int planes = 0, bpp = 0;
    quint32 compression = 0;
    if (dibSize == 12) { // OS/2 core header
        width = u16(file, 18);
        height = u16(file, 20);
        planes = u16(file, 22);
        bpp = u16(file, 24);
    } else if (dibSize >= 40 && dibSize <= 124 && file.size() >= 54) {
        width = qint32(u32(file, 18));
        height = qint32(u32(file, 22));
        planes = u16(file, 26);
        bpp = u16(file, 28);
        compression = u32(file, 30);
    } else {
        return false;
    }
    height = std::llabs(height); // negative: stored top-down
    if (width <= 0 || height <= 0 || width * height > kMaxRasterPixels || planes != 1 || !knownLayout(bpp, compression))
        return false;
    if (offset < 14 + dibSize || qint64(offset) >= file.size())
        return false;
    if (compression == 1 || compression == 2)
        return runsComplete(file, offset, height, compression == 2);
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    return qint64(offset) + stride * height <= file.size();
}

} // namespace ostrovel
