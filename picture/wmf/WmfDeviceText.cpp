#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cstring>

#include "WmfDevice.h" // libwmf last: its macros break Qt's headers

namespace ostrovel::wmf {
namespace {

// Text in a metafile is in the Windows ANSI code page; Latin-1 except for
// these characters in 0x80..0x9F (0 where the code page has none).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

QString decodeAnsi(const char* text)
{
    QString out;
    const std::size_t length = std::strlen(text);
    out.reserve(static_cast<qsizetype>(length));
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const char16_t high = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : 0;
        out.append(QChar(high ? high : char16_t(c)));
    }
    return out;
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

// The Qt font for a logical font, at kReferencePixelSize. Families the system
// lacks (Arial, Times New Roman, ...) fall back through fontconfig.
QFont fontOf(const wmfFont& f)
{
    QFont font;
    const QString family = f.lfFaceName ? decodeAnsi(f.lfFaceName).trimmed() : QString();
    if (!family.isEmpty())
        font.setFamily(family);
    font.setStyleHint(styleHintOf(f.lfPitchAndFamily));
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

} // namespace

void mapFont(wmfAPI*, wmfFont*)
{
    // Fonts are mapped when drawn; libwmf only insists on the function.
}

float stringWidth(wmfAPI*, wmfFont* font, char* text)
{
    if (!font || !text)
        return 0;
    const QFontMetricsF metrics(fontOf(*font));
    return static_cast<float>(metrics.horizontalAdvance(decodeAnsi(text)) / kReferencePixelSize);
}

void drawText(wmfAPI* api, wmfDrawText_t* draw)
{
    const wmfDC* dc = draw->dc;
    WmfCanvas* canvas = prepareCanvas(api, dc);
    if (!canvas || !draw->str || !dc->font || !(draw->font_height > 0))
        return;
    TextSpec text;
    text.text = decodeAnsi(draw->str);
    text.font = fontOf(*dc->font);
    text.height = draw->font_height;
    text.angle = dc->font->lfEscapement / 10.0;
    text.origin = QPointF(draw->pt.x, draw->pt.y);
    text.anchor = anchorOf(dc->textalign);
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
