#include "BmpCheck.h"

#include <QtEndian>
#include <cstdlib>

namespace ostrovel {
namespace {

constexpr qint64 kMaxPixels = 256LL * 1024 * 1024; // 1 GB at 4 bytes a pixel

quint32 u32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
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

} // namespace

bool PlausibleBmp(const QByteArray& head, qint64 fileSize)
{
    if (head.size() < 26 || !head.startsWith("BM"))
        return false;
    const quint32 offset = u32(head, 10);
    const quint32 dibSize = u32(head, 14);
    qint64 width = 0, height = 0;
    int planes = 0, bpp = 0;
    quint32 compression = 0;
    if (dibSize == 12) { // OS/2 core header
        width = u16(head, 18);
        height = u16(head, 20);
        planes = u16(head, 22);
        bpp = u16(head, 24);
    } else if (dibSize >= 40 && dibSize <= 124 && head.size() >= 54) {
        width = qint32(u32(head, 18));
        height = qint32(u32(head, 22));
        planes = u16(head, 26);
        bpp = u16(head, 28);
        compression = u32(head, 30);
    } else {
        return false;
    }
    height = std::llabs(height); // negative: stored top-down
    if (width <= 0 || height <= 0 || width * height > kMaxPixels || planes != 1 || !knownLayout(bpp, compression))
        return false;
    if (offset < 14 + dibSize || qint64(offset) >= fileSize)
        return false;
    if (compression == 1 || compression == 2)
        return true; // run lengths: the size is only known by decoding
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    return qint64(offset) + stride * height <= fileSize;
}

} // namespace ostrovel
