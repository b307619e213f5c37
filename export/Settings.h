#pragma once
// The text and number rules by which the window's fields are read.

#include "common/Colour.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace ostrovel {

/// The text cut at every ","; the empty text gives no parts at all.
QStringList Split(const QString& text);

/// The number the text begins with ("." as decimal point, an optional sign,
/// an exponent with E or D, &H and &O prefixes); blanks, tabs and line feeds
/// anywhere are skipped; 0 when the text does not begin with a number.
/// Infinite when the number is too large for a double.
double Val(const QString& text);

/// To the nearest 16-bit integer, halves to even; nothing outside -32768..32767.
std::optional<std::int16_t> ToInt16(double value);

/// red + 256 * green + 65536 * blue, components over 255 counting as 255;
/// nothing for a negative component.
std::optional<Colour> RGB(int red, int green, int blue);

/// The colour typed as "R,G,B" (parts beyond the third ignored); nothing when
/// there are fewer than three parts or a part does not convert.
std::optional<Colour> ParseColour(const QString& text);

/// The quality every thumbnail is written with. The writer takes any number
/// and writes values above 100 as 100, the best it has: 200 says "the best"
/// whatever the writer's scale.
inline constexpr int kExportQuality = 200;

/// The thumbnail settings as typed into the window.
struct ThumbnailSettings {
    QString colour = QStringLiteral("255,255,255");
    QString width = QStringLiteral("158");
    QString height = QStringLiteral("158");
};

} // namespace ostrovel
