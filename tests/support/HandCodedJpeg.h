#pragma once
// Grey baseline JPEGs coded by hand, symbol by symbol, with any Huffman
// tables: what libjpeg's encoder never writes (16-bit codes, end-of-band
// runs, runs past the last coefficient) to hold decoders against each other.

#include <QByteArray>
#include <QList>

namespace ostrovel::test {

/// A Huffman table: symbols in order of their code lengths, `lengths` the
/// code length (1..16) of each, non-decreasing.
struct HandTable {
    QList<int> symbols;
    QList<int> lengths;
};

/// One item of scan data: a symbol of the DC (`ac` false) or AC table, then
/// `bits` magnitude bits of `value`.
struct HandCode {
    bool ac;
    int symbol;
    int bits = 0;
    quint32 value = 0;
};

/// A grey baseline JPEG `blocks` 8 x 8 blocks wide and one high, every
/// quantizer 1, whose scan data is `codes` (bytes stuffed, padded with ones).
QByteArray handCodedJpeg(int blocks, const HandTable& dc, const HandTable& ac, const QList<HandCode>& codes);

} // namespace ostrovel::test
