#include "picture/PictureBytes.h"
#include "common/SystemReason.h"
#include "picture/Limits.h"

#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <unistd.h>

namespace ostrovel {
namespace {

constexpr qint64 kChunk = qint64(256) << 10;

std::atomic<qint64> g_gifBytesWalked{0};

quint32 u32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
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

// Where a walk over a GIF's blocks stands; resumable as data grows, so that
// a file read in chunks is walked once.
struct GifWalk {
    qsizetype pos = -1; // the next block, or sub-block length byte; -1 before the header
    bool inSubBlocks = false;
    bool image = false; // the sub-blocks are the first image's data
    qsizetype end = -1; // just past the first image once found
    bool broken = false;
};

// Skips sub-blocks as far as `d` goes; true at the terminator.
bool skipSubBlocks(const QByteArray& d, GifWalk& w)
{
    const auto* p = reinterpret_cast<const unsigned char*>(d.constData());
    const qsizetype n = d.size();
    while (w.pos < n) {
        const int length = p[w.pos];
        w.pos += 1 + length;
        if (length == 0) {
            w.inSubBlocks = false;
            return true;
        }
    }
    return false;
}

// The walk itself, from where `w` stands.
void walkGif(const QByteArray& d, GifWalk& w)
{
    while (w.end < 0 && !w.broken) {
        if (w.inSubBlocks) {
            if (!skipSubBlocks(d, w))
                return;
            if (w.image)
                w.end = w.pos;
            continue;
        }
        if (w.pos >= d.size())
            return;
        const int introducer = byteAt(d, w.pos);
        if (introducer == 0x21) { // extension: label, then sub-blocks
            w.pos += 2;
        } else if (introducer == 0x2C) { // image: descriptor, table, code size, data
            if (w.pos + 10 > d.size())
                return;
            w.pos += 10 + gifTable(byteAt(d, w.pos + 9)) + 1;
            w.image = true;
        } else {
            w.broken = true; // a trailer before any image, or not a block at all
            return;
        }
        w.inSubBlocks = true;
    }
}

// Advances `w` over `d` as far as it goes.
void advanceGif(const QByteArray& d, GifWalk& w)
{
    if (w.pos < 0) {
        if (d.size() < 13)
            return;
        w.pos = 13 + gifTable(byteAt(d, 10));
    }
    const qsizetype from = w.pos;
    walkGif(d, w);
    g_gifBytesWalked += std::min(w.pos, d.size()) - std::min(from, d.size());
}

// Reads more of `fd` into `data`; false at the end of the file.
bool readMore(int fd, QByteArray& data, qint64 cap, QString& reason)
{
    const qsizetype have = data.size();
    const qsizetype want = have + qsizetype(std::min(kChunk, cap + 1 - have));
    if (want > data.capacity()) // doubling: each byte is moved a bounded number of times
        data.reserve(std::max(want, 2 * data.capacity()));
    data.resize(want);
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

qint64 GifBytesWalked()
{
    return g_gifBytesWalked.load();
}

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

qint64 BmpExtent(const QByteArray& head)
{
    if (head.size() < 26 || !head.startsWith("BM"))
        return -1;
    const qint64 offset = u32(head, 10);
    const quint32 dibSize = u32(head, 14);
    qint64 width = 0, height = 0;
    int bpp = 0;
    quint32 compression = 0;
    if (dibSize == 12) { // the small OS/2 header: 16-bit sides
        width = u16(head, 18);
        height = u16(head, 20);
        bpp = u16(head, 24);
    } else if (dibSize >= 40 && dibSize <= 124) {
        if (head.size() < 54)
            return -1;
        width = qint32(u32(head, 18));
        height = std::llabs(qint32(u32(head, 22)));
        bpp = u16(head, 28);
        compression = u32(head, 30);
    }
    if (width <= 0 || height <= 0 || bpp <= 0 || bpp > 32 || width * height > kMaxRasterPixels)
        return 26; // a header the check refuses: its first bytes are enough to refuse it
    if (compression == 1 || compression == 2) // run-length: a pixel costs 2 bytes at most, a row 2 more
        return offset + 2 * (width + 2) * height + 2;
    return offset + ((width * bpp + 31) / 32) * 4 * height;
}

QByteArray ReadRasterExtent(int fd, PictureKind kind, qint64 cap, QString& reason)
{
    QByteArray data;
    GifWalk gif;
    try {
        while (readMore(fd, data, cap, reason)) {
            if (data.size() > cap) {
                reason = QStringLiteral("too large");
                return {};
            }
            if (kind == PictureKind::Gif) {
                advanceGif(data, gif);
                if (gif.broken)
                    return data; // refused by the check, without reading on
                if (gif.end >= 0) { // the rest of an animation is not shown
                    data.truncate(gif.end);
                    data.append(';'); // in place: the capacity is there
                    return data;
                }
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
