#include "picture/jpegdec/JpegExtent.h"

#include "common/ReadableFile.h"
#include "common/SystemReason.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

namespace ostrovel::jpegdec {
namespace {

constexpr qint64 kChunk = qint64(256) << 10;

// Where a walk over the marker structure stands; resumable as data grows.
struct Walk {
    qsizetype pos = 2; // after SOI
    bool entropy = false;
    qsizetype end = -1; // just past EOI once found
    bool broken = false;
};

bool standalone(unsigned char m)
{
    return m == 0x01 || m == 0xD8 || (m >= 0xD0 && m <= 0xD7);
}

// Skips entropy-coded data up to the next marker; false when more data is needed.
bool skipEntropy(const unsigned char* p, qsizetype n, Walk& w)
{
    while (w.pos < n) {
        const void* ff = std::memchr(p + w.pos, 0xFF, std::size_t(n - w.pos));
        if (!ff) {
            w.pos = n;
            return false;
        }
        const qsizetype at = static_cast<const unsigned char*>(ff) - p;
        if (at + 1 >= n) {
            w.pos = at;
            return false;
        }
        const unsigned char m = p[at + 1];
        if (m == 0x00 || (m >= 0xD0 && m <= 0xD7))
            w.pos = at + 2; // stuffed byte or restart marker: still data
        else if (m == 0xFF)
            w.pos = at + 1; // fill byte before a marker
        else {
            w.pos = at;
            w.entropy = false;
            return true;
        }
    }
    return false;
}

// Advances `w` over `data` as far as it goes.
void advance(const QByteArray& data, Walk& w)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    while (w.end < 0 && !w.broken) {
        if (w.entropy && !skipEntropy(p, n, w))
            return;
        if (w.pos + 1 >= n)
            return;
        const unsigned char m = p[w.pos + 1];
        if (p[w.pos] != 0xFF)
            w.broken = true;
        else if (m == 0xFF)
            ++w.pos;
        else if (m == 0xD9)
            w.end = w.pos + 2;
        else if (standalone(m))
            w.pos += 2;
        else {
            if (w.pos + 3 >= n)
                return;
            const int length = (p[w.pos + 2] << 8) | p[w.pos + 3];
            if (length < 2) {
                w.broken = true;
                return;
            }
            if (w.pos + 2 + length > n)
                return;
            w.pos += 2 + length;
            w.entropy = m == 0xDA; // a scan's data follows its header
        }
    }
}

} // namespace

qsizetype JpegEnd(const QByteArray& data)
{
    if (data.size() < 2 || uchar(data[0]) != 0xFF || uchar(data[1]) != 0xD8)
        return -2;
    Walk w;
    advance(data, w);
    return w.end >= 0 ? w.end : w.broken ? -2 : -1;
}

QByteArray ReadJpegExtent(int fd, qint64 cap, QString& reason)
{
    QByteArray data;
    Walk w;
    try {
        for (;;) {
            const qsizetype have = data.size();
            if (have > cap) {
                reason = QStringLiteral("too large");
                return {};
            }
            data.resize(have + qsizetype(std::min(kChunk, cap + 1 - have)));
            const ssize_t got = ::pread(fd, data.data() + have, std::size_t(data.size() - have), have);
            if (got < 0 && errno == EINTR) {
                data.resize(have);
                continue;
            }
            if (got < 0) {
                reason = SystemReason(errno);
                return {};
            }
            data.resize(have + got);
            if (got == 0)
                break;
            if (have == 0 && (data.size() < 2 || uchar(data[0]) != 0xFF || uchar(data[1]) != 0xD8))
                w.broken = true; // not a JPEG: libjpeg says so
            if (!w.broken)
                advance(data, w);
            if (w.broken)
                return data; // found damaged: libjpeg refuses what was read, without reading on
            if (w.end >= 0) {
                data.truncate(w.end);
                return data;
            }
        }
        if (!w.broken && !data.isEmpty())
            data.append("\xFF\xD9", 2); // the end marker alone may be missing
        return data;
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("not enough memory");
        return {};
    }
}

} // namespace ostrovel::jpegdec
