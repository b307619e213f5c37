#include "export/Settings.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace ostrovel {
namespace {

bool skipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// Digits of the given base from the start of `s`; stops at the first other character.
double readRadix(const QString& s, int base)
{
    double value = 0;
    for (QChar c : s) {
        const int digit = c.isDigit() ? c.digitValue() : (c.toUpper() >= u'A' && c.toUpper() <= u'F') ? c.toUpper().unicode() - 'A' + 10 : 99;
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    return value;
}

// Sign, digits, point, digits, then an optional exponent: the longest such prefix.
double readDecimal(const QString& s)
{
    QString number;
    int i = 0;
    const int n = int(s.size());
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        number += s[i++];
    int digits = 0;
    while (i < n && s[i] >= u'0' && s[i] <= u'9')
        number += s[i++], ++digits;
    if (i < n && s[i] == u'.') {
        number += s[i++];
        while (i < n && s[i] >= u'0' && s[i] <= u'9')
            number += s[i++], ++digits;
    }
    if (digits == 0)
        return 0.0;
    if (i < n && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        QString exponent = QStringLiteral("e");
        int j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            exponent += s[j++];
        const int start = j;
        while (j < n && s[j] >= u'0' && s[j] <= u'9')
            exponent += s[j++];
        if (j > start)
            number += exponent;
    }
    // from_chars ignores the locale, which the application sets from the environment.
    const QByteArray bytes = number.toLatin1();
    double value = 0.0;
    const char* first = bytes.constData();
    if (*first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, bytes.constData() + bytes.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large is an overflow; too small is simply zero.
        if (number.contains(QStringLiteral("e-")))
            return 0.0;
        const double inf = std::numeric_limits<double>::infinity();
        return number.startsWith(u'-') ? -inf : inf;
    }
    return value;
}

} // namespace

QStringList Split(const QString& text)
{
    if (text.isEmpty())
        return {};
    return text.split(u',');
}

double Val(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!skipped(c))
            s += c;
    if (s.startsWith(u'&') && s.size() > 1) {
        const QChar prefix = s[1].toUpper();
        if (prefix == u'H')
            return readRadix(s.mid(2), 16);
        if (prefix == u'O')
            return readRadix(s.mid(2), 8);
    }
    return readDecimal(s);
}

std::optional<std::int16_t> ToInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<std::int16_t>::min() || rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::optional<Colour> RGB(int red, int green, int blue)
{
    if (red < 0 || green < 0 || blue < 0)
        return std::nullopt;
    const auto clamp = [](int c) { return Colour(c > 255 ? 255 : c); };
    return clamp(red) + 256 * clamp(green) + 65536 * clamp(blue);
}

std::optional<Colour> ParseColour(const QString& text)
{
    const QStringList parts = Split(text);
    if (parts.size() < 3)
        return std::nullopt;
    const auto red = ToInt16(Val(parts[0]));
    const auto green = ToInt16(Val(parts[1]));
    const auto blue = ToInt16(Val(parts[2]));
    if (!red || !green || !blue)
        return std::nullopt;
    return RGB(*red, *green, *blue);
}

} // namespace ostrovel
