// The settings rules on arbitrary text: the input read as UTF-8 and again
// as UTF-16, each given to Val, ToInt16, ParseColour, Split and ProperPfad,
// and its first three lines typed into the colour, width and height fields.

#include "picture/Canvas.h"
#include "fuzz/FuzzSupport.h"
#include "export/Render.h"
#include "export/Paths.h"
#include "export/Settings.h"

#include <cmath>
#include <cstring>
#include <vector>

using namespace ostrovel;

namespace {

void checkNumbers(const QString& text)
{
    const double value = Val(text);
    if (std::isnan(value))
        fuzz::Fail("Val gave NaN");
    const std::optional<std::int16_t> rounded = ToInt16(value);
    if (rounded && std::abs(*rounded - value) > 0.5)
        fuzz::Fail("ToInt16 moved by more than a half");
    const std::optional<Colour> colour = ParseColour(text);
    if (colour && *colour > 0xFFFFFF)
        fuzz::Fail("a colour beyond 24 bits");
}

void checkTexts(const QString& text)
{
    const QStringList parts = Split(text);
    if (text.isEmpty() ? !parts.isEmpty() : parts.join(u',') != text)
        fuzz::Fail("Split lost or added text");
    const QString folder = ProperPfad(text);
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        fuzz::Fail("ProperPfad without a closing slash");
}

// The fields as typed: the canvas keeps a size it can have.
void checkFields(const QString& text)
{
    const QStringList lines = text.split(u'\n');
    ThumbnailSettings settings;
    settings.colour = lines.value(0);
    settings.width = lines.value(1);
    settings.height = lines.value(2);
    Canvas canvas(QSize(158, 158), 0xFFFFFF);
    ApplyCanvasSettings(canvas, settings);
    const QSize size = canvas.size();
    if (size.width() < 0 || size.height() < 0 || size.width() > kMaxCanvasExtent
        || size.height() > kMaxCanvasExtent || canvas.BackColor() > 0xFFFFFF)
        fuzz::Fail("the fields gave the canvas an impossible size or colour");
}

void exercise(const QString& text)
{
    checkNumbers(text);
    checkTexts(text);
    checkFields(text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    exercise(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    // Copied, since the input need not be aligned for 16-bit units.
    std::vector<char16_t> units(size / 2);
    if (!units.empty())
        std::memcpy(units.data(), data, units.size() * 2);
    exercise(QString::fromUtf16(units.data(), qsizetype(units.size())));
    return 0;
}
