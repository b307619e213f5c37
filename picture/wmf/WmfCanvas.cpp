#include "picture/wmf/WmfCanvas.h"

#include "picture/Limits.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace ostrovel::wmf {
namespace {

// A copy of `image` in which every pixel of colour `key` is transparent: the
// part of a bitmap that leaves the destination alone under AND, OR and XOR.
QImage keyedOut(const QImage& image, QRgb key)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((row[x] & 0xFFFFFFu) == (key & 0xFFFFFFu))
                row[x] = 0;
        }
    }
    return out;
}

// Qt draws glyphs from its cache while the transform's area is small, even
// when one axis is stretched a thousandfold; FreeType then fails on the huge
// glyph and Qt copies from a null bitmap. Text larger than the cache's 64
// pixels along either axis is filled as outlines instead, as Qt itself does
// for text that is large both ways.
bool beyondGlyphCache(const QTransform& t)
{
    const double across = std::hypot(t.m11(), t.m12());
    const double up = std::hypot(t.m21(), t.m22());
    return std::max(across, up) * kReferencePixelSize >= 64;
}

// The text's glyphs in its colour, the baseline at `baseline` in the
// painter's current (glyph) coordinates.
void drawGlyphs(QPainter& painter, const TextParams& text, double baseline)
{
    if (beyondGlyphCache(painter.combinedTransform())) {
        QPainterPath outline;
        outline.addText(QPointF(0, baseline), text.font, text.text);
        painter.fillPath(outline, text.color);
        return;
    }
    painter.setFont(text.font);
    painter.setPen(text.color);
    painter.drawText(QPointF(0, baseline), text.text);
}

QPainter::CompositionMode blitMode(BlitOp op)
{
    switch (op) {
    case BlitOp::And: return QPainter::CompositionMode_Multiply;
    case BlitOp::Or: return QPainter::CompositionMode_Lighten;
    case BlitOp::Xor: return QPainter::CompositionMode_Difference;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

QImage prepareBlit(const QImage& source, BlitOp op)
{
    switch (op) {
    case BlitOp::And: return keyedOut(source, qRgb(255, 255, 255));
    case BlitOp::Or:
    case BlitOp::Xor: return keyedOut(source, qRgb(0, 0, 0));
    case BlitOp::NotCopy: {
        QImage inverted = source.convertToFormat(QImage::Format_RGB32);
        inverted.invertPixels();
        return inverted;
    }
    default: return source;
    }
}

// Averages each factor x factor block of `big` into one pixel (premultiplied
// values average correctly).
QImage reduced(const QImage& big, int factor, QSize size)
{
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    const int area = factor * factor;
    std::vector<quint32> sums(std::size_t(size.width()) * 4);
    for (int y = 0; y < size.height(); ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int row = y * factor; row < (y + 1) * factor; ++row) {
            const auto* line = reinterpret_cast<const QRgb*>(big.constScanLine(row));
            for (int x = 0; x < size.width() * factor; ++x) {
                quint32* sum = &sums[std::size_t(x / factor) * 4];
                sum[0] += qAlpha(line[x]);
                sum[1] += qRed(line[x]);
                sum[2] += qGreen(line[x]);
                sum[3] += qBlue(line[x]);
            }
        }
        auto* target = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32* sum = &sums[std::size_t(x) * 4];
            const auto avg = [area](quint32 v) { return int((v + area / 2) / area); };
            target[x] = qRgba(avg(sum[1]), avg(sum[2]), avg(sum[3]), avg(sum[0]));
        }
    }
    return out;
}

// How many times larger in each direction the drawing is made, within a
// budget of 16 Mi pixels.
int supersampling(QSize size)
{
    const double pixels = double(size.width()) * size.height();
    for (int factor : {4, 3, 2})
        if (pixels * factor * factor <= kWmfSupersamplePixels)
            return factor;
    return 1;
}

} // namespace

WmfCanvas::WmfCanvas(QSize size)
    : m_size(size),
      m_factor(supersampling(size)),
      m_supersample(QTransform::fromScale(m_factor, m_factor)),
      m_image(size * m_factor, QImage::Format_ARGB32_Premultiplied)
{
    m_image.fill(Qt::transparent);
    m_painter.begin(&m_image);
    // Shapes are drawn aliased at a multiple of the size and averaged down:
    // anti-aliased edges without the faint seams that anti-aliasing each
    // shape leaves between neighbours (gradients made of bands, clip art
    // made of pieces).
    m_painter.setRenderHint(QPainter::Antialiasing, m_factor == 1);
    // Hatches follow the brush's transform, which keeps them in the result's pixels.
    m_painter.setRenderHints(
        QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform | QPainter::NonCosmeticBrushPatterns);
    m_painter.setTransform(m_supersample);
}

WmfCanvas::~WmfCanvas()
{
    if (m_painter.isActive())
        m_painter.end();
}

void WmfCanvas::setTransform(const QTransform& deviceToImage)
{
    m_transform = deviceToImage;
    m_painter.setTransform(deviceToImage * m_supersample);
}

void WmfCanvas::setMix(Mix mix)
{
    m_mix = mix;
    switch (mix) {
    case Mix::InvertDestination:
    case Mix::Difference: m_painter.setCompositionMode(QPainter::CompositionMode_Difference); break;
    case Mix::Multiply: m_painter.setCompositionMode(QPainter::CompositionMode_Multiply); break;
    case Mix::Lighten: m_painter.setCompositionMode(QPainter::CompositionMode_Lighten); break;
    default: m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver); break;
    }
}

void WmfCanvas::setClip(const std::vector<QRectF>& rects)
{
    if (rects.empty()) {
        m_painter.setClipping(false);
        return;
    }
    QPainterPath region;
    for (const QRectF& r : rects)
        region.addRect(r.normalized());
    m_painter.setClipPath(region);
}

QColor WmfCanvas::mixed(const QColor& color) const
{
    switch (m_mix) {
    case Mix::Black: return Qt::black;
    case Mix::White:
    case Mix::InvertDestination: return Qt::white;
    case Mix::Inverse: return QColor(255 - color.red(), 255 - color.green(), 255 - color.blue());
    default: return color;
    }
}

double WmfCanvas::scaleX() const
{
    return std::hypot(m_transform.m11(), m_transform.m12());
}

double WmfCanvas::scaleY() const
{
    return std::hypot(m_transform.m21(), m_transform.m22());
}

QBrush WmfCanvas::qtBrush(const BrushParams& brush) const
{
    QBrush b;
    if (brush.kind == BrushParams::Kind::Hatch)
        b = QBrush(mixed(brush.color), brush.hatch);
    else if (brush.kind == BrushParams::Kind::Pattern && m_mix == Mix::Copy)
        b = QBrush(brush.pattern);
    else
        return QBrush(mixed(brush.color));
    // GDI lays hatches and patterns out in the pixels of the device drawn
    // on, whatever the mapping: here the result's pixels.
    bool invertible = false;
    const QTransform inverse = m_transform.inverted(&invertible);
    if (invertible)
        b.setTransform(inverse);
    return b;
}

QPen WmfCanvas::qtPen(const PenParams& pen) const
{
    // GDI pens are round in device space and at least one pixel wide; a
    // cosmetic pen has exactly that, whatever the transform.
    const double width = std::max(1.0, pen.width * scaleX());
    QPen p(mixed(pen.color), std::min(width, 1e5) * m_factor);
    p.setCosmetic(true);
    p.setCapStyle(pen.cap);
    p.setJoinStyle(pen.join);
    // As with GDI's pens, only thin lines are dashed.
    if (!pen.dashes.isEmpty() && width <= 1.0) {
        p.setDashPattern(pen.dashes);
        p.setCapStyle(Qt::FlatCap);
    }
    return p;
}

void WmfCanvas::drawPath(const QPainterPath& path, const BrushParams& brush, const PenParams& pen)
{
    if (m_mix == Mix::Skip)
        return;
    if (brush.kind != BrushParams::Kind::None) {
        if (brush.kind == BrushParams::Kind::Hatch && brush.background)
            m_painter.fillPath(path, mixed(*brush.background));
        // Pattern pixels are enlarged as blocks, never blurred.
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        m_painter.fillPath(path, qtBrush(brush));
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    }
    if (pen.visible)
        m_painter.strokePath(path, qtPen(pen));
}

void WmfCanvas::fillRect(const QRectF& rect, const QColor& color)
{
    QRectF r = m_transform.mapRect(rect.normalized());
    r.setWidth(std::max(r.width(), 1.0));
    r.setHeight(std::max(r.height(), 1.0));
    m_painter.save();
    m_painter.setTransform(m_supersample);
    m_painter.fillRect(r, color);
    m_painter.restore();
}

void WmfCanvas::drawBitmap(const QRectF& target, const QImage& image, const QRect& source, BlitOp op)
{
    const QRect part = source.intersected(image.rect());
    const QRectF to = m_transform.mapRect(target.normalized());
    if (part.isEmpty() || to.isEmpty())
        return;
    QImage piece = prepareBlit(image.copy(part), op);
    // A target that runs against the image's axes mirrors the bitmap, as in GDI.
    const bool mirrorX = target.width() * m_transform.m11() < 0;
    const bool mirrorY = target.height() * m_transform.m22() < 0;
    if (mirrorX || mirrorY)
        piece = piece.mirrored(mirrorX, mirrorY);
    // Reduce by area averaging; the painter's smooth transform only
    // interpolates and aliases when shrinking a lot.
    const QSize pixels(std::max(1, int(std::lround(to.width() * m_factor))),
        std::max(1, int(std::lround(to.height() * m_factor))));
    if (pixels.width() < piece.width() || pixels.height() < piece.height())
        piece = piece.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_painter.save();
    m_painter.setTransform(m_supersample);
    m_painter.setCompositionMode(blitMode(op));
    m_painter.drawImage(to, piece);
    m_painter.restore();
}

void WmfCanvas::drawText(const TextParams& text)
{
    const double sy = scaleY();
    const double heightPx = text.height * sy;
    if (!(heightPx > 0.01 && heightPx < 1e5))
        return;
    const double scale = heightPx / kReferencePixelSize;
    const QFontMetricsF metrics(text.font);
    // libwmf put the baseline one text height below a top anchor and on a
    // bottom anchor; the font's ascent and descent place it properly.
    double baseline = 0;
    if (text.anchor == TextAnchor::Top)
        baseline = metrics.ascent() - kReferencePixelSize;
    else if (text.anchor == TextAnchor::Bottom)
        baseline = -metrics.descent();

    m_painter.save();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!text.opaqueRect.isEmpty())
        m_painter.fillRect(text.opaqueRect.normalized(), text.background);
    if (!text.clipRect.isEmpty())
        m_painter.setClipRect(text.clipRect.normalized(), Qt::IntersectClip);
    m_painter.setTransform(m_supersample);
    m_painter.translate(m_transform.map(text.origin));
    m_painter.rotate(-text.angle);
    m_painter.scale(scale * text.stretch * scaleX() / sy, scale);
    if (text.fillsCells) {
        const QRectF box(0, baseline - metrics.ascent(), metrics.horizontalAdvance(text.text), metrics.height());
        m_painter.fillRect(box, text.background);
    }
    drawGlyphs(m_painter, text, baseline);
    m_painter.restore();
}

QImage WmfCanvas::finish()
{
    if (m_painter.isActive())
        m_painter.end();
    if (m_factor == 1)
        return m_image;
    return reduced(m_image, m_factor, m_size);
}

} // namespace ostrovel::wmf
