#include "picture/BmpBitfields.h"

#include <QtEndian>

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace ostrovel {
namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// One channel's mask: where its field sits and how wide it is.
struct Field {
    quint32 mask = 0;
    int shift = 0;
    int bits = 0;

    bool valid() const { return mask == 0 || std::has_single_bit((mask >> shift) + quint64(1)); }
    // The field of `pixel` scaled to 0..255, rounded.
    int value(quint32 pixel, int absent) const
    {
        if (mask == 0)
            return absent;
        const quint64 v = (pixel & mask) >> shift, top = (quint64(1) << bits) - 1;
        return int((v * 255 + top / 2) / top);
    }
};

Field field(quint32 mask)
{
    return mask ? Field{mask, std::countr_zero(mask), std::popcount(mask)} : Field{};
}

// The red, green, blue and alpha masks: after the 40-byte header, or in a
// longer one; 5 bits each for 16 bits without compression. False when they
// lie beyond the header.
bool masks(const QByteArray& b, std::array<Field, 4>& out)
{
    if (u32(b, 30) == 0) {
        out = {field(0x7C00), field(0x03E0), field(0x001F), Field{}};
        return true;
    }
    const quint32 dibSize = u32(b, 14);
    const qsizetype count = dibSize >= 56 ? 4 : 3;
    const qsizetype end = 54 + 4 * count;
    if (end > b.size() || (dibSize == 40 && end > qsizetype(u32(b, 10))))
        return false;
    for (qsizetype i = 0; i < count; ++i)
        out[std::size_t(i)] = field(u32(b, 54 + 4 * i));
    return true;
}

} // namespace

bool IsBitfieldBmp(const QByteArray& bytes)
{
    if (bytes.size() < 54 || u32(bytes, 14) < 40)
        return false;
    const int bpp = qFromLittleEndian<quint16>(bytes.constData() + 28);
    const quint32 compression = u32(bytes, 30);
    return (compression == 3 && (bpp == 16 || bpp == 32)) || (compression == 0 && bpp == 16);
}

QImage DecodeBitfieldBmp(const QByteArray& bytes)
{
    std::array<Field, 4> f;
    if (!IsBitfieldBmp(bytes) || !masks(bytes, f))
        return {};
    for (const Field& one : f)
        if (!one.valid())
            return {};
    const int bpp = qFromLittleEndian<quint16>(bytes.constData() + 28);
    const qint64 width = qint32(u32(bytes, 18)), signedHeight = qint32(u32(bytes, 22));
    const qint64 height = std::llabs(signedHeight), stride = (width * bpp + 31) / 32 * 4;
    const qint64 offset = u32(bytes, 10);
    if (width <= 0 || height <= 0 || width * height > (qint64(1) << 28) || offset + stride * height > bytes.size())
        return {}; // the bound keeps the sums small for callers without the plausibility check
    QImage image(int(width), int(height), f[3].mask ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (qint64 y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uchar*>(bytes.constData() + offset + stride * y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(signedHeight < 0 ? y : height - 1 - y)));
        for (qint64 x = 0; x < width; ++x) {
            const quint32 p = bpp == 32 ? qFromLittleEndian<quint32>(row + 4 * x) : qFromLittleEndian<quint16>(row + 2 * x);
            out[x] = qRgba(f[0].value(p, 0), f[1].value(p, 0), f[2].value(p, 0), f[3].value(p, 255));
        }
    }
    return image;
}

void NormalizeBmpHeader(QByteArray& bytes)
{
    if (bytes.size() < 54)
        return;
    const quint32 dibSize = u32(bytes, 14);
    if ((dibSize != 52 && dibSize != 56) || bytes.size() < 14 + qsizetype(dibSize))
        return;
    const qsizetype drop = dibSize - 40;
    std::array<char, 54> head;
    std::memcpy(head.data(), bytes.constData(), head.size());
    qToLittleEndian<quint32>(u32(bytes, 2) > drop ? u32(bytes, 2) - quint32(drop) : 0, head.data() + 2);
    qToLittleEndian<quint32>(u32(bytes, 10) - quint32(drop), head.data() + 10);
    qToLittleEndian<quint32>(40, head.data() + 14);
    std::memcpy(bytes.data() + drop, head.data(), head.size());
    bytes.remove(0, drop);
}

} // namespace ostrovel
