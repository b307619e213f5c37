#include "picture/jpegdec/JpegExtent.h"

#include "common/ReadableFile.h"
#include "common/SystemReason.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <unistd.h>

namespace ostrovel::jpegdec {
namespace {

constexpr qint64 kChunk = qint64(256) << 10;
constexpr qint64 kSkipChunk = qint64(4) << 20; // fewer reads through long extraneous runs

// Where a walk over the marker structure stands; resumable as data grows.
struct Walk {
    qsizetype pos = 2; // after SOI
    bool entropy = false;
    bool skipping = false; // over extraneous bytes where a marker belongs
    qsizetype skipFrom = 0; // where the extraneous bytes not yet listed start
    qsizetype end = -1; // just past EOI once found
    bool broken = false;
};

using Span = std::pair<qsizetype, qsizetype>;

bool standalone(unsigned char m)
{
    return m == 0x01 || m == 0xD8 || (m >= 0xD0 && m <= 0xD7);
}

// Moves to the next marker (FF fill and stuffed FF 00 skipped, restart
// markers too inside entropy-coded data); false when more data is needed.
bool skipToMarker(const unsigned char* p, qsizetype n, Walk& w, bool inEntropy)
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
        if (m == 0x00 || (inEntropy && m >= 0xD0 && m <= 0xD7))
            w.pos = at + 2;
        else if (m == 0xFF)
            w.pos = at + 1;
        else {
            w.pos = at;
            return true;
        }
    }
    return false;
}

// Skips extraneous bytes where a marker belongs, as libjpeg does (with a
// warning); their spans go to `skipped`. False when more data is needed.
bool skipExtraneous(const unsigned char* p, qsizetype n, Walk& w, QList<Span>* skipped)
{
    const bool found = skipToMarker(p, n, w, false);
    if (skipped && w.pos > w.skipFrom)
        skipped->append({w.skipFrom, w.pos});
    w.skipFrom = w.pos;
    w.skipping = !found;
    return found;
}

// Advances `w` over `data` as far as it goes.
void advance(const QByteArray& data, Walk& w, QList<Span>* skipped = nullptr)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    while (w.end < 0 && !w.broken) {
        if (w.entropy) {
            if (!skipToMarker(p, n, w, true))
                return;
            w.entropy = false;
        }
        if (w.skipping && !skipExtraneous(p, n, w, skipped))
            return;
        if (w.pos + 1 >= n)
            return;
        const unsigned char m = p[w.pos + 1];
        if (p[w.pos] != 0xFF || m == 0x00) {
            w.skipping = true;
            w.skipFrom = w.pos;
        } else if (m == 0xFF)
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

// Cuts the `skipped` spans (all before the walk's position) out of `data`
// in one pass: they mean nothing to libjpeg and would only take memory.
void cut(QByteArray& data, Walk& w, QList<Span>& skipped)
{
    if (skipped.isEmpty())
        return;
    char* d = data.data();
    qsizetype out = skipped.front().first;
    for (qsizetype i = 0; i < skipped.size(); ++i) {
        const qsizetype from = skipped[i].second;
        const qsizetype to = i + 1 < skipped.size() ? skipped[i + 1].first : data.size();
        std::memmove(d + out, d + from, std::size_t(to - from));
        out += to - from;
    }
    const qsizetype removed = data.size() - out;
    data.truncate(out);
    w.pos -= removed;
    w.skipFrom = w.pos;
    if (w.end >= 0)
        w.end -= removed;
    skipped.clear();
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
    QList<Span> skipped;
    Walk w;
    qint64 offset = 0; // in the file; extraneous bytes are not kept
    try {
        for (;;) {
            const qsizetype have = data.size();
            if (have > cap) {
                reason = QStringLiteral("too large");
                return {};
            }
            const qint64 chunk = w.skipping ? kSkipChunk : kChunk;
            data.resize(have + qsizetype(std::min(chunk, cap + 1 - have)));
            const ssize_t got = ::pread(fd, data.data() + have, std::size_t(data.size() - have), offset);
            if (got < 0 && errno == EINTR) {
                data.resize(have);
                continue;
            }
            if (got < 0) {
                reason = SystemReason(errno);
                return {};
            }
            data.resize(have + got);
            offset += got;
            if (got == 0)
                break;
            if (offset == got && (data.size() < 2 || uchar(data[0]) != 0xFF || uchar(data[1]) != 0xD8))
                w.broken = true; // not a JPEG: libjpeg says so
            if (!w.broken) {
                advance(data, w, &skipped);
                cut(data, w, skipped);
            }
            if (w.broken)
                return data; // found damaged: libjpeg refuses what was read, without reading on
            if (w.end >= 0) {
                data.truncate(w.end);
                return data;
            }
        }
        if (w.skipping)
            data.truncate(w.pos); // no marker after the extraneous bytes
        if (!w.broken && !data.isEmpty())
            data.append("\xFF\xD9", 2); // the end marker alone may be missing
        return data;
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("not enough memory");
        return {};
    }
}

} // namespace ostrovel::jpegdec
