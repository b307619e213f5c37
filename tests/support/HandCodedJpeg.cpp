#include "tests/support/HandCodedJpeg.h"

#include <map>

namespace ostrovel::test {
namespace {

void put16(QByteArray& out, int v)
{
    out += char(v >> 8);
    out += char(v & 0xFF);
}

void segment(QByteArray& out, int marker, const QByteArray& payload)
{
    out += char(0xFF);
    out += char(marker);
    put16(out, int(payload.size()) + 2);
    out += payload;
}

QByteArray tableSegment(int classAndId, const HandTable& t)
{
    QByteArray p(1, char(classAndId));
    for (int length = 1; length <= 16; ++length)
        p += char(t.lengths.count(length));
    for (int s : t.symbols)
        p += char(s);
    return p;
}

// Canonical codes: symbol to (code, length).
std::map<int, std::pair<quint32, int>> codesOf(const HandTable& t)
{
    std::map<int, std::pair<quint32, int>> codes;
    quint32 code = 0;
    int length = 1;
    for (qsizetype i = 0; i < t.symbols.size(); ++i) {
        for (; length < t.lengths[i]; ++length)
            code <<= 1;
        codes[t.symbols[i]] = {code++, length};
    }
    return codes;
}

class BitWriter {
public:
    void put(quint32 value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            m_byte = (m_byte << 1) | ((value >> i) & 1);
            if (++m_count == 8)
                flush();
        }
    }
    QByteArray finish()
    {
        while (m_count != 0)
            put(1, 1);
        return m_out;
    }

private:
    void flush()
    {
        m_out += char(m_byte);
        if (m_byte == 0xFF)
            m_out += char(0);
        m_byte = 0;
        m_count = 0;
    }
    QByteArray m_out;
    quint32 m_byte = 0;
    int m_count = 0;
};

} // namespace

QByteArray handCodedJpeg(int blocks, const HandTable& dc, const HandTable& ac, const QList<HandCode>& codes)
{
    QByteArray out("\xFF\xD8", 2);
    segment(out, 0xDB, QByteArray(1, '\0') + QByteArray(64, '\x01'));
    QByteArray frame("\x08", 1);
    put16(frame, 8);
    put16(frame, blocks * 8);
    frame += QByteArray("\x01\x01\x11\x00", 4);
    segment(out, 0xC0, frame);
    segment(out, 0xC4, tableSegment(0x00, dc));
    segment(out, 0xC4, tableSegment(0x10, ac));
    segment(out, 0xDA, QByteArray("\x01\x01\x00\x00\x3F\x00", 6));
    const auto dcCodes = codesOf(dc), acCodes = codesOf(ac);
    BitWriter bits;
    for (const HandCode& c : codes) {
        const auto& [code, length] = (c.ac ? acCodes : dcCodes).at(c.symbol);
        bits.put(code, length);
        bits.put(c.value, c.bits);
    }
    out += bits.finish();
    out += QByteArray("\xFF\xD9", 2);
    return out;
}

} // namespace ostrovel::test
