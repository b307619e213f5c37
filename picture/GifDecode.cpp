#include "picture/GifDecode.h"

#include "picture/GifSubBlocks.h"
#include "picture/RasterChecks.h"

#include <QtEndian>

#include <array>
#include <optional>

namespace ostrovel {
namespace {

constexpr int kMaxCodes = 4096;

// The first image and what precedes it in the file.
struct FirstImage {
    QRect frame;
    std::array<QRgb, 256> palette{};
    int colours = 0;
    int transparent = -1;
    bool interlaced = false;
    int minCodeSize = 0;
    qsizetype data = 0; // the first data sub-block
};

// Past a run of sub-blocks and its terminator; nothing when the file ends.
std::optional<qsizetype> skipSubBlocks(const QByteArray& d, qsizetype at)
{
    while (at < d.size() && d.at(at) != 0)
        at += quint8(d.at(at)) + 1;
    return at < d.size() ? std::optional(at + 1) : std::nullopt;
}

// A colour table of 2^(n+1) entries at `at`; the position after it.
std::optional<qsizetype> readPalette(const QByteArray& d, qsizetype at, quint8 flags, FirstImage& image)
{
    if (!(flags & 0x80))
        return at;
    image.colours = 2 << (flags & 7);
    if (at + 3 * image.colours > d.size())
        return std::nullopt;
    for (int i = 0; i < image.colours; ++i) {
        const auto* p = reinterpret_cast<const uchar*>(d.constData() + at + 3 * i);
        image.palette[std::size_t(i)] = qRgb(p[0], p[1], p[2]);
    }
    return at + 3 * image.colours;
}

std::optional<FirstImage> findFirstImage(const QByteArray& d)
{
    FirstImage image;
    std::optional<qsizetype> at = readPalette(d, 13, quint8(d.at(10)), image);
    while (at && *at < d.size()) {
        const quint8 block = quint8(d.at(*at));
        if (block == 0x21 && *at + 1 < d.size()) {
            const bool control = quint8(d.at(*at + 1)) == 0xF9 && *at + 7 <= d.size() && d.at(*at + 2) == 4;
            if (control)
                image.transparent = (d.at(*at + 3) & 1) ? quint8(d.at(*at + 6)) : -1;
            at = skipSubBlocks(d, *at + 2);
        } else if (block == 0x2C && *at + 11 <= d.size()) {
            const auto u16 = [&](int offset) { return int(qFromLittleEndian<quint16>(d.constData() + *at + offset)); };
            image.frame = QRect(u16(1), u16(3), u16(5), u16(7));
            const quint8 flags = quint8(d.at(*at + 9));
            image.interlaced = flags & 0x40;
            at = readPalette(d, *at + 10, flags, image);
            if (!at || *at >= d.size())
                return std::nullopt;
            image.minCodeSize = quint8(d.at(*at));
            image.data = *at + 1;
            return image;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Places the frame's pixels, in the order the LZW data yields them, on the
// canvas: rows in interlaced order when asked, clipped to the canvas.
class FramePainter {
public:
    FramePainter(QImage& canvas, const FirstImage& image) : m_canvas(canvas), m_image(image) {}
    bool done() const { return m_row >= m_image.frame.height(); }
    bool allOpaque() const { return m_opaque == qint64(m_canvas.width()) * m_canvas.height(); }
    void put(int index)
    {
        const int y = m_image.frame.y() + rowAt(m_row), x = m_image.frame.x() + m_column;
        if (index != m_image.transparent) {
            const QRgb colour = index < m_image.colours ? m_image.palette[std::size_t(index)] : qRgb(0, 0, 0);
            reinterpret_cast<QRgb*>(m_canvas.scanLine(y))[x] = colour;
            ++m_opaque;
        }
        if (++m_column == m_image.frame.width()) {
            m_column = 0;
            ++m_row;
        }
    }

private:
    // The frame row of the n-th row in the data.
    int rowAt(int n) const
    {
        if (!m_image.interlaced)
            return n;
        const int h = m_image.frame.height();
        const int pass1 = (h + 7) / 8, pass2 = (h + 3) / 8, pass3 = (h + 1) / 4;
        if (n < pass1)
            return n * 8;
        if ((n -= pass1) < pass2)
            return 4 + n * 8;
        if ((n -= pass2) < pass3)
            return 2 + n * 4;
        return 1 + (n - pass3) * 2;
    }

    QImage& m_canvas;
    const FirstImage& m_image;
    int m_row = 0;
    int m_column = 0;
    qint64 m_opaque = 0;
};

// LZW codes of growing width, lowest bit first.
class CodeReader {
public:
    explicit CodeReader(GifSubBlocks& blocks) : m_blocks(blocks) {}
    int read(int width)
    {
        while (m_bits < width) {
            const int byte = m_blocks.next();
            if (byte < 0)
                return -1;
            m_buffer |= quint32(byte) << m_bits;
            m_bits += 8;
        }
        const int code = int(m_buffer & ((1u << width) - 1));
        m_buffer >>= width;
        m_bits -= width;
        return code;
    }

private:
    GifSubBlocks& m_blocks;
    quint32 m_buffer = 0;
    int m_bits = 0;
};

// Decodes until the frame is full; false when the data is invalid or ends
// first.
bool decodeLzw(const QByteArray& d, const FirstImage& image, FramePainter& painter)
{
    const int clear = 1 << image.minCodeSize, end = clear + 1;
    std::array<quint16, kMaxCodes> prefix{}, suffix{}, first{};
    std::array<quint16, kMaxCodes> stack{};
    for (int i = 0; i < clear; ++i)
        first[std::size_t(i)] = quint16(i);
    GifSubBlocks blocks(d, image.data);
    CodeReader reader(blocks);
    int next = end + 1, width = image.minCodeSize + 1, previous = -1;
    while (!painter.done()) {
        const int code = reader.read(width);
        if (code < 0 || code == end || code > next || (code == next && previous < 0))
            return false;
        if (code == clear) {
            next = end + 1;
            width = image.minCodeSize + 1;
            previous = -1;
            continue;
        }
        if (previous < 0 && code > clear)
            return false;
        int string = code == next ? previous : code, depth = 0;
        if (code == next)
            stack[std::size_t(depth++)] = first[std::size_t(previous)];
        while (string > end) {
            stack[std::size_t(depth++)] = suffix[std::size_t(string)];
            string = prefix[std::size_t(string)];
        }
        stack[std::size_t(depth++)] = quint16(string);
        if (previous >= 0 && next < kMaxCodes) {
            prefix[std::size_t(next)] = quint16(previous);
            suffix[std::size_t(next)] = quint16(string);
            first[std::size_t(next)] = first[std::size_t(previous)];
            ++next;
        }
        while (depth > 0 && !painter.done())
            painter.put(stack[std::size_t(--depth)]);
        previous = code;
        if (next == (1 << width) && width < 12)
            ++width;
    }
    return true;
}

QImage fail(QString* reason, const char* text)
{
    if (reason)
        *reason = QString::fromLatin1(text);
    return {};
}

} // namespace

QImage DecodeGif(const QByteArray& d, QString* reason)
{
    if (d.size() < 13 || !(d.startsWith("GIF87a") || d.startsWith("GIF89a")))
        return fail(reason, "damaged data");
    const std::optional<FirstImage> image = findFirstImage(d);
    if (!image || image->frame.isEmpty() || image->minCodeSize < 2 || image->minCodeSize > 11)
        return fail(reason, "damaged data");
    const QSize screen(qFromLittleEndian<quint16>(d.constData() + 6), qFromLittleEndian<quint16>(d.constData() + 8));
    const QSize size = screen.expandedTo(QSize(image->frame.right() + 1, image->frame.bottom() + 1));
    if (qint64(size.width()) * size.height() > kMaxRasterPixels)
        return fail(reason, "too large");
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return fail(reason, "not enough memory");
    canvas.fill(Qt::transparent);
    FramePainter painter(canvas, *image);
    if (!decodeLzw(d, *image, painter))
        return fail(reason, "damaged data");
    if (painter.allOpaque())
        canvas.reinterpretAsFormat(QImage::Format_RGB32);
    return canvas;
}

} // namespace ostrovel
