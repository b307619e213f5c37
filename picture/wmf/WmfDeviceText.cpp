#include "picture/wmf/WmfCharsets.h"
#include "picture/wmf/WmfDevice.h" // libwmf last: its macros break Qt's headers

#include <QFont>
#include <QFontMetricsF>
#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cmath>

namespace ostrovel::wmf {
namespace {

bool isSymbolFont(const wmfFont& f)
{
    return f.lfFaceName && qstricmp(f.lfFaceName, "Symbol") == 0;
}

QString decodeText(const wmfFont& f, const char* text)
{
    return isSymbolFont(f) ? decodeSymbol(text) : decodeAnsi(text);
}

// The generic family in the upper bits of lfPitchAndFamily.
QFont::StyleHint styleHintOf(unsigned pitchAndFamily)
{
    switch (pitchAndFamily & 0xF0) {
    case 0x10: return QFont::Serif;      // FF_ROMAN
    case 0x20: return QFont::SansSerif;  // FF_SWISS
    case 0x30: return QFont::TypeWriter; // FF_MODERN
    case 0x40: return QFont::Cursive;    // FF_SCRIPT
    case 0x50: return QFont::Decorative; // FF_DECORATIVE
    default: return QFont::AnyStyle;
    }
}

// The generic family of a few common Windows fonts, for a system that lacks
// the fonts themselves.
QFont::StyleHint styleHintOfName(const QString& family)
{
    static const char* const serif[] = {"Times New Roman", "Times", "Georgia", "Garamond", "Book Antiqua",
        "Palatino Linotype", "Century Schoolbook", "Cambria", "Bookman Old Style"};
    static const char* const mono[] = {"Courier New", "Courier", "Consolas", "Lucida Console", "Fixedsys", "Terminal"};
    for (const char* name : serif)
        if (family.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QFont::Serif;
    for (const char* name : mono)
        if (family.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QFont::TypeWriter;
    return QFont::AnyStyle;
}

// The Qt font for a logical font, at kReferencePixelSize. Families the system
// lacks (Arial, Times New Roman, ...) fall back through fontconfig.
QFont fontOf(const wmfFont& f)
{
    QFont font;
    // Symbol's characters are decoded to Unicode, which a serif font draws.
    const QString family = isSymbolFont(f) ? QStringLiteral("serif")
        : f.lfFaceName                     ? decodeAnsi(f.lfFaceName).trimmed()
                                           : QString();
    if (!family.isEmpty())
        font.setFamily(family);
    // A known name says more than the family bits, which writers get wrong.
    const QFont::StyleHint hint = styleHintOfName(family);
    font.setStyleHint(hint == QFont::AnyStyle ? styleHintOf(f.lfPitchAndFamily) : hint);
    font.setFixedPitch((f.lfPitchAndFamily & 0x03) == 1); // FIXED_PITCH
    font.setPixelSize(kReferencePixelSize);
    const int weight = f.lfWeight == 0 ? 400 : std::clamp(int(f.lfWeight), 1, 1000);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(f.lfItalic != 0);
    font.setUnderline(f.lfUnderline != 0);
    font.setStrikeOut(f.lfStrikeOut != 0);
    // GDI places glyphs by their plain advances; measure and draw alike.
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// How much wider than its own shapes a font is drawn: GDI stretches a font
// whose average character width is given to that width. libwmf fills in a
// missing width with the height, so equal values mean none was given.
double widthFactorOf(const wmfFont& f, const QFont& font)
{
    if (f.lfWidth == 0 || f.lfHeight == 0 || f.lfWidth == f.lfHeight)
        return 1;
    const double average = QFontMetricsF(font).averageCharWidth();
    if (!(average > 0))
        return 1;
    return std::clamp(double(f.lfWidth) / f.lfHeight * kReferencePixelSize / average, 0.05, 20.0);
}

TextAnchor anchorOf(unsigned textAlign)
{
    // libwmf tests TA_BASELINE (0x18) as a mask, so TA_BOTTOM (0x08) gets no
    // shift from it at all, just like TA_BASELINE.
    if ((textAlign & TA_BASELINE) == TA_BASELINE)
        return TextAnchor::Baseline;
    if (textAlign & TA_BOTTOM)
        return TextAnchor::Bottom;
    return TextAnchor::Top;
}

// libwmf's rotation of the baseline, in its device space.
QPointF baselineDirection(const wmfFont& font)
{
    const double theta = -WMF_TEXT_ANGLE(&font);
    return QPointF(std::cos(theta), std::sin(theta));
}

// How much narrower than its natural width libwmf wants a character: with
// the record's character spacing it draws one character per call and lowers
// font_ratio where the spacing is tighter than the character. Its natural
// width leaves out the device's aspect, which is put back here.
double squeezeOf(const wmfDrawText_t& draw, double aspect)
{
    const wmfFont& font = *draw.dc->font;
    const double ratio = double(font.lfWidth) / font.lfHeight;
    if (!(draw.font_ratio > 0) || draw.font_ratio >= ratio * (1 - 1e-6))
        return 1;
    return std::min(1.0, draw.font_ratio / ratio / aspect);
}

// The correction to libwmf's horizontal alignment, along the baseline:
// libwmf measured our string width without the device's aspect, and as it
// tests TA_CENTER as a mask, it centres text aligned right. The width it
// used spans the text's bbox; with character spacing only the first call
// has a bbox, and the others share its correction.
QPointF alignmentCorrection(DeviceData& device, const TextParams& text, const wmfDrawText_t& draw, double shape)
{
    const QPointF u = baselineDirection(*draw.dc->font);
    const double given = (draw.bbox.TR.x - draw.bbox.TL.x) * u.x() + (draw.bbox.TR.y - draw.bbox.TL.y) * u.y();
    if (draw.bbox.TL.x == 0 && draw.bbox.TL.y == 0 && draw.bbox.TR.x == 0 && draw.bbox.TR.y == 0)
        return device.textCorrection;
    const double advance = QFontMetricsF(text.font).horizontalAdvance(text.text) / kReferencePixelSize;
    const double estimate = advance * widthFactorOf(*draw.dc->font, text.font) * draw.font_height;
    // libwmf works in floats: allow for their rounding at the text's position.
    const double tolerance = 1e-3 * estimate + 1e-5 * (std::abs(draw.pt.x) + std::abs(draw.pt.y)) + 1e-3;
    const bool spaced = std::abs(given - estimate) > tolerance;
    const double width = spaced ? given : advance * draw.font_height * shape;
    const unsigned horizontal = draw.dc->textalign & TA_CENTER;
    const double applied = horizontal ? -given / 2 : 0;
    const double wanted = horizontal == TA_CENTER ? -width / 2 : horizontal == TA_RIGHT ? -width : 0;
    device.textCorrection = u * (wanted - applied);
    return device.textCorrection;
}

// Sets the text's start and horizontal stretch.
void placeAlongBaseline(DeviceData& device, TextParams& text, const wmfDrawText_t& draw)
{
    const double aspect = std::abs(draw.dc->pixel_width / draw.dc->pixel_height);
    const double across = std::isfinite(aspect) && aspect > 0 ? aspect : 1.0;
    // Glyph proportions hold in logical units, which the device may stretch.
    const double shape = widthFactorOf(*draw.dc->font, text.font) * across;
    text.stretch = shape * squeezeOf(draw, across);
    text.origin = QPointF(draw.pt.x, draw.pt.y) + alignmentCorrection(device, text, draw, shape);
}

} // namespace

void mapFont(wmfAPI*, wmfFont*)
{
    // Fonts are mapped when drawn; libwmf only insists on the function.
}

float stringWidth(wmfAPI*, wmfFont* font, char* text)
{
    if (!font || !text || font->lfHeight == 0 || font->lfWidth == 0)
        return 0;
    const QFont qtFont = fontOf(*font);
    const double advance = QFontMetricsF(qtFont).horizontalAdvance(decodeText(*font, text)) / kReferencePixelSize;
    // libwmf multiplies this by the height and by lfWidth / lfHeight.
    const double ratio = double(font->lfWidth) / font->lfHeight;
    return static_cast<float>(advance * widthFactorOf(*font, qtFont) / ratio);
}

void drawText(wmfAPI* api, wmfDrawText_t* draw)
{
    const wmfDC* dc = draw->dc;
    WmfCanvas* canvas = prepareCanvas(api, dc);
    if (!canvas || !draw->str || !dc->font || !(draw->font_height > 0))
        return;
    TextParams text;
    text.text = decodeText(*dc->font, draw->str);
    text.font = fontOf(*dc->font);
    text.height = draw->font_height;
    text.angle = dc->font->lfEscapement / 10.0;
    text.anchor = anchorOf(dc->textalign);
    placeAlongBaseline(*static_cast<DeviceData*>(api->device_data), text, *draw);
    text.color = toColor(dc->textcolor);
    text.background = toColor(dc->bgcolor);
    text.fillsCells = WMF_DC_OPAQUE(dc);
    const QRectF box = QRectF(QPointF(draw->TL.x, draw->TL.y), QPointF(draw->BR.x, draw->BR.y)).normalized();
    if (draw->flags & ETO_OPAQUE)
        text.opaqueRect = box;
    if (draw->flags & ETO_CLIPPED)
        text.clipRect = box;
    canvas->drawText(text);
}

} // namespace ostrovel::wmf
