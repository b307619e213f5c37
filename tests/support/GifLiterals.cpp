#include "tests/support/GifLiterals.h"

#include <algorithm>
#include <cstdint>

namespace ostrovel::test {

QByteArray gifLzwLiterals(const QList<int>& indices, int minCodeSize)
{
    const int clear = 1 << minCodeSize, width = minCodeSize + 1, perClear = std::max(1, (1 << minCodeSize) - 3);
    QByteArray codes;
    std::uint32_t buffer = 0;
    int bits = 0;
    const auto emit = [&](int code) {
        buffer |= std::uint32_t(code) << bits;
        for (bits += width; bits >= 8; bits -= 8, buffer >>= 8)
            codes += char(buffer & 0xFF);
    };
    for (qsizetype i = 0; i < indices.size(); ++i) {
        if (i % perClear == 0)
            emit(clear);
        emit(indices[i]);
    }
    emit(clear + 1);
    if (bits > 0)
        codes += char(buffer & 0xFF);
    QByteArray out(1, char(minCodeSize));
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        out += char(block.size());
        out += block;
    }
    return out + '\0';
}

} // namespace ostrovel::test
