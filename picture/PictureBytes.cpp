#include "picture/PictureBytes.h"
#include "common/SystemReason.h"

#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <unistd.h>

namespace ostrovel {
namespace {

constexpr qint64 kChunk = qint64(256) << 10;

quint32 u32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

int byteAt(const QByteArray& b, qsizetype at)
{
    return static_cast<unsigned char>(b.at(at));
}

// Colour table bytes announced by a GIF flags byte.
qsizetype gifTable(int flags)
{
    return (flags & 0x80) ? 3 * (qsizetype(2) << (flags & 7)) : 0;
}

// Skips data sub-blocks from `at`; the offset after the terminator, or -1.
qsizetype skipSubBlocks(const QByteArray& d, qsizetype at)
{
    while (at < d.size()) {
        const int length = byteAt(d, at);
        at += 1 + length;
        if (length == 0)
            return at;
    }
    return -1;
}

// Reads more of `fd` into `data`; false at the end of the file.
bool readMore(int fd, QByteArray& data, qint64 cap, QString& reason)
{
    const qsizetype have = data.size();
    data.resize(have + qsizetype(std::min(kChunk, cap + 1 - have)));
    ssize_t got;
    do
        got = ::pread(fd, data.data() + have, std::size_t(data.size() - have), have);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        reason = SystemReason(errno);
        data.resize(have);
        return false;
    }
    data.resize(have + got);
    return got > 0;
}

} // namespace

PictureKind SniffPicture(const QByteArray& head)
{
    const auto byte = [&](int i) { return static_cast<unsigned char>(head.at(i)); };
    if (head.size() >= 3 && byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF)
        return PictureKind::Jpeg;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return PictureKind::Gif;
    if (head.startsWith("BM"))
        return PictureKind::Bmp;
    if (head.size() >= 4 && byte(0) == 0xD7 && byte(1) == 0xCD && byte(2) == 0xC6 && byte(3) == 0x9A)
        return PictureKind::Wmf; // placeable header
    if (head.size() >= 4 && (byte(0) == 1 || byte(0) == 2) && byte(1) == 0 && byte(2) == 9 && byte(3) == 0)
        return PictureKind::Wmf; // plain header: type, header size 9 words
    return PictureKind::Unknown;
}

qsizetype GifFirstImageEnd(const QByteArray& d)
{
    if (d.size() < 13)
        return -1;
    qsizetype at = 13 + gifTable(byteAt(d, 10));
    while (at < d.size()) {
        const int introducer = byteAt(d, at);
        if (introducer == 0x21) { // extension: label, then sub-blocks
            at = at + 2 > d.size() ? -1 : skipSubBlocks(d, at + 2);
        } else if (introducer == 0x2C) { // image: descriptor, table, code size, data
            if (at + 10 > d.size())
                return -1;
            at += 10 + gifTable(byteAt(d, at + 9)) + 1;
            return at > d.size() ? -1 : skipSubBlocks(d, at);
        } else {
            return -2; // a trailer before any image, or not a block at all
        }
        if (at < 0)
            return -1;
    }
    return -1;
}

qint64 BmpExtent(const QByteArray& head)
{
    if (head.size() < 54 || !head.startsWith("BM"))
        return -1;
    const qint64 offset = u32(head, 10);
    const quint32 dibSize = u32(head, 14);
    if (dibSize < 40 || dibSize > 124)
        return -1; // the small OS/2 header: read up to the cap
    const qint64 width = qint32(u32(head, 18));
    const qint64 height = std::llabs(qint32(u32(head, 22)));
    const int bpp = qFromLittleEndian<quint16>(head.constData() + 28);
    const quint32 compression = u32(head, 30);
    if (width <= 0 || height <= 0 || width > (1 << 20) || height > (1 << 20))
        return -1;
    if (compression == 1 || compression == 2) // run-length: a pixel costs 2 bytes at most, a row 2 more
        return offset + 2 * (width + 2) * height + 2;
    return offset + ((width * bpp + 31) / 32) * 4 * height;
}

QByteArray ReadRasterExtent(int fd, PictureKind kind, qint64 cap, QString& reason)
{
    QByteArray data;
    try {
        while (readMore(fd, data, cap, reason)) {
            if (data.size() > cap) {
                reason = QStringLiteral("too large");
                return {};
            }
            if (kind == PictureKind::Gif) {
                const qsizetype end = GifFirstImageEnd(data);
                if (end >= 0)
                    return data.left(end) + ';'; // the rest of an animation is not shown
            } else if (const qint64 extent = BmpExtent(data); extent > 0 && data.size() >= extent) {
                data.truncate(qsizetype(extent));
                return data;
            }
        }
        return reason.isEmpty() ? data : QByteArray();
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("not enough memory");
        return {};
    }
}

} // namespace ostrovel
