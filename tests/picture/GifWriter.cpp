#include "tests/picture/GifWriter.h"

#include <map>
#include <utility>

namespace giftest {
namespace {

void put16(QByteArray& out, int v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

// Codes of growing width, lowest bit first, as GIF packs them.
class CodeWriter {
public:
    void put(int code, int width)
    {
        m_buffer |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes += char(m_buffer & 0xFF);
            m_buffer >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes += char(m_buffer & 0xFF);
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_buffer = 0;
    int m_bits = 0;
};

QByteArray lzw(const QImage& indices, int minCodeSize)
{
    // Only a code size of 2..11 makes a table that fits 12-bit codes; for a
    // larger one the data is a clear code and literals, just as written.
    const int clear = 1 << minCodeSize;
    const int bits = std::min(minCodeSize, 11);
    CodeWriter out;
    std::map<std::pair<int, int>, int> table;
    int width = minCodeSize + 1, next = clear + 2, prefix = -1;
    out.put(clear, width);
    const auto send = [&](int code) {
        out.put(code, width);
        if (next >= (1 << width) && width < 12)
            ++width;
    };
    for (int y = 0; y < indices.height(); ++y)
        for (int x = 0; x < indices.width(); ++x) {
            const int k = indices.pixelIndex(x, y);
            if (prefix < 0) {
                prefix = k;
                continue;
            }
            if (const auto found = table.find({prefix, k}); found != table.end()) {
                prefix = found->second;
                continue;
            }
            send(prefix);
            if (bits == minCodeSize && next < 4094) {
                table[{prefix, k}] = next++;
            } else {
                out.put(clear, width);
                table.clear();
                width = minCodeSize + 1;
                next = clear + 2;
            }
            prefix = k;
        }
    if (prefix >= 0)
        send(prefix);
    out.put(clear + 1, width);
    return out.finish();
}

} // namespace

QByteArray lzwBlocks(const QImage& indices, int minCodeSize)
{
    const QByteArray codes = lzw(indices, minCodeSize);
    QByteArray blocks;
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray chunk = codes.mid(i, 255);
        blocks += char(chunk.size());
        blocks += chunk;
    }
    blocks += char(0);
    return blocks;
}

namespace {

// The frame's rows in the order of the four interlace passes.
QImage interlace(const QImage& indices)
{
    QImage stored(indices.size(), QImage::Format_Indexed8);
    stored.setColorCount(256);
    int to = 0;
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < indices.height(); y += step, ++to)
            for (int x = 0; x < indices.width(); ++x)
                stored.setPixel(x, to, uint(indices.pixelIndex(x, y)));
    return stored;
}

} // namespace

QByteArray gif(QSize screen, const QList<QRgb>& palette, const QList<Frame>& frames)
{
    QByteArray out("GIF89a");
    put16(out, screen.width());
    put16(out, screen.height());
    out += char(0xF7); // global table of 256 entries
    out += char(0);    // background index
    out += char(0);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        out += char(qRed(c));
        out += char(qGreen(c));
        out += char(qBlue(c));
    }
    if (frames.size() > 1)
        out += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19);
    for (const Frame& f : frames) {
        out += QByteArray("\x21\xF9\x04", 3);
        out += char(f.transparentIndex >= 0 ? 0x09 : 0x08); // restore-to-background disposal
        put16(out, 10);
        out += char(f.transparentIndex >= 0 ? f.transparentIndex : 0);
        out += char(0);
        out += char(0x2C);
        put16(out, f.offset.x());
        put16(out, f.offset.y());
        put16(out, f.indices.width());
        put16(out, f.indices.height());
        out += char(f.interlaced ? 0x40 : 0);
        out += char(f.minCodeSize);
        out += lzwBlocks(f.interlaced ? interlace(f.indices) : f.indices, f.minCodeSize);
    }
    out += char(0x3B);
    return out;
}

} // namespace giftest
