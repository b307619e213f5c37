#include "picture/RasterChecks.h"
#include "picture/GifSubBlocks.h"

#include <QtEndian>

#include <array>

namespace ostrovel {
namespace {

// Reads the variable-width codes of a GIF's LZW data, lowest bit first.
class CodeReader {
public:
    explicit CodeReader(GifSubBlocks blocks) : m_blocks(blocks) {}
    bool read(int width, int& code)
    {
        while (m_bits < width) {
            const int byte = m_blocks.next();
            if (byte < 0)
                return false;
            m_buffer |= quint32(byte) << m_bits;
            m_bits += 8;
        }
        code = int(m_buffer & ((1u << width) - 1));
        m_buffer >>= width;
        m_bits -= width;
        return true;
    }

private:
    GifSubBlocks m_blocks;
    quint32 m_buffer = 0;
    int m_bits = 0;
};

// True when the codes are valid and yield at least `pixels` pixels. Only
// the lengths of the table's strings are tracked, not the strings.
bool lzwComplete(GifSubBlocks data, int minCodeSize, qint64 pixels)
{
    if (minCodeSize < 2 || minCodeSize > 11)
        return false;
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::array<qint64, 4096> length{};
    length.fill(1);
    int next = end + 1, width = minCodeSize + 1, previous = -1, code = 0;
    qint64 produced = 0;
    CodeReader reader(data);
    while (produced < pixels && reader.read(width, code)) {
        if (code == clear) {
            next = end + 1;
            width = minCodeSize + 1;
            previous = -1;
            continue;
        }
        if (code == end || code > next || (previous < 0 && code >= clear) || (code == next && previous < 0))
            break;
        const qint64 len = code == next ? length[std::size_t(previous)] + 1 : (code < clear ? 1 : length[std::size_t(code)]);
        if (previous >= 0 && next < 4096)
            length[std::size_t(next++)] = length[std::size_t(previous)] + 1;
        produced += len;
        previous = code;
        if (next == (1 << width) && width < 12)
            ++width;
    }
    return produced >= pixels;
}

qsizetype skipColourTable(quint8 flags, qsizetype at)
{
    return (flags & 0x80) ? at + 3 * (qsizetype(1) << ((flags & 7) + 1)) : at;
}

// Past the data sub-blocks starting at `at` and their terminator.
void skipSubBlocks(const QByteArray& d, qsizetype& at)
{
    while (at < d.size() && d.at(at) != 0)
        at += quint8(d.at(at)) + 1;
    ++at;
}

} // namespace

bool PlausibleGif(const QByteArray& d)
{
    if (d.size() < 13 || !(d.startsWith("GIF87a") || d.startsWith("GIF89a")))
        return false;
    const qint64 screen = qint64(qFromLittleEndian<quint16>(d.constData() + 6)) * qFromLittleEndian<quint16>(d.constData() + 8);
    if (screen > kMaxRasterPixels)
        return false;
    qsizetype at = skipColourTable(quint8(d.at(10)), 13);
    while (at < d.size()) {
        const quint8 block = quint8(d.at(at));
        if (block == 0x21) { // extension: label, then sub-blocks
            at += 2;
            skipSubBlocks(d, at);
        } else if (block == 0x2C && at + 11 <= d.size()) { // the first image
            const qint64 w = qFromLittleEndian<quint16>(d.constData() + at + 5);
            const qint64 h = qFromLittleEndian<quint16>(d.constData() + at + 7);
            at = skipColourTable(quint8(d.at(at + 9)), at + 10);
            if (at >= d.size() || w * h > kMaxRasterPixels)
                return false;
            const int minCodeSize = quint8(d.at(at++));
            return lzwComplete(GifSubBlocks(d, at), minCodeSize, w * h);
        } else {
            return false;
        }
    }
    return false;
}

} // namespace ostrovel
