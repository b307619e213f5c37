#include "common/FileNames.h"

namespace ostrovel {
namespace {

// Length of the valid UTF-8 sequence at `p` (at most `left` bytes), or 0.
int validSequence(const unsigned char* p, qsizetype left)
{
    const unsigned char c = p[0];
    int length = 0;
    char32_t min = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        length = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF)
        length = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4)
        length = 4, min = 0x10000;
    else
        return 0;
    if (left < length)
        return 0;
    char32_t value = c & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString DecodeFileName(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const int length = validSequence(p + i, n - i);
        if (length == 0) {
            name += QChar(char16_t(0xDC00 + p[i]));
            ++i;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + i, length);
        i += length;
    }
    return name;
}

QByteArray EncodeFileName(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0;
    const auto flush = [&](qsizetype end) {
        if (end > start)
            bytes += QStringView(name).mid(start, end - start).toUtf8();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        const bool lone = u >= 0xDC80 && u <= 0xDCFF && (i == 0 || !QChar::isHighSurrogate(name[i - 1].unicode()));
        if (!lone)
            continue;
        flush(i);
        bytes += char(u - 0xDC00);
        start = i + 1;
    }
    flush(name.size());
    return bytes;
}

} // namespace ostrovel
