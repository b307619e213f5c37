#pragma once
// The surface the metafile device layer draws on: GDI-like operations given
// in libwmf's device units, drawn anti-aliased through QPainter onto a
// transparent image. Knows nothing of libwmf.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <optional>
#include <vector>

namespace ostrovel::wmf {

struct PenParams {
    bool visible = true;
    QColor color;
    double width = 0;    // device units; 0 draws the thinnest line
    QList<qreal> dashes; // in line widths; empty for a solid line
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
};

struct BrushParams {
    enum class Kind { None, Solid, Hatch, Pattern };
    Kind kind = Kind::None;
    QColor color;
    Qt::BrushStyle hatch = Qt::SolidPattern;
    QImage pattern;
    std::optional<QColor> background; // fills the gaps of a hatch
};

// The raster mixes of pens and brushes that mean something on a transparent
// image; the rest draw as Copy.
enum class Mix { Copy, Skip, Black, White, Inverse, InvertDestination, Difference, Multiply, Lighten };

// How a bitmap combines with what is already drawn.
enum class BlitOp { Copy, And, Or, Xor, NotCopy };

enum class TextAnchor { Top, Baseline, Bottom };

struct TextParams {
    QString text;
    QFont font;             // sized kReferencePixelSize
    double height = 0;      // device units
    double stretch = 1;     // device units across per device unit up, in the glyphs' frame
    double angle = 0;       // degrees, counter-clockwise
    QPointF origin;         // device units: the start of the baseline as libwmf estimated it
    TextAnchor anchor = TextAnchor::Top; // the vertical alignment libwmf estimated from
    QColor color;
    QColor background;      // for opaqueRect, and behind the glyphs when fillsCells
    bool fillsCells = false;
    QRectF opaqueRect;      // device units; filled with background when not empty
    QRectF clipRect;                  // device units; clips the text when not empty
};

// Fonts are measured and drawn at this pixel size and scaled by the painter,
// so that fractional heights stay exact.
inline constexpr int kReferencePixelSize = 256;

class WmfCanvas {
public:
    /// A transparent image of `size` pixels to draw on.
    explicit WmfCanvas(QSize size);
    WmfCanvas(const WmfCanvas&) = delete;
    WmfCanvas& operator=(const WmfCanvas&) = delete;
    ~WmfCanvas();

    /// Maps device units onto image pixels for the following operations.
    void setTransform(const QTransform& deviceToImage);
    /// Sets how pens and brushes combine with the image.
    void setMix(Mix mix);
    /// Restricts drawing to the union of `rects` (device units, under the
    /// current transform); no rectangles lift the restriction.
    void setClip(const std::vector<QRectF>& rects);

    /// Fills (when the brush is not None) and then outlines `path`.
    void drawPath(const QPainterPath& path, const BrushParams& brush, const PenParams& pen);
    /// Fills `rect` (device units) with `color`, at least one pixel wide and high.
    void fillRect(const QRectF& rect, const QColor& color);
    /// Draws the `source` part of `image` stretched into `target` (device
    /// units; a negative width or height mirrors it).
    void drawBitmap(const QRectF& target, const QImage& image, const QRect& source, BlitOp op);
    /// Draws a line of text.
    void drawText(const TextParams& text);

    /// Ends the drawing and hands over the image (Format_ARGB32_Premultiplied).
    QImage finish();

private:
    QColor mixed(const QColor& color) const;
    QBrush qtBrush(const BrushParams& brush) const;
    QPen qtPen(const PenParams& pen) const;
    double scaleX() const;
    double scaleY() const;

    QSize m_size;
    int m_factor = 1;         // the image is drawn this many times larger
    QTransform m_supersample; // from the result's pixels to the drawn image's
    QImage m_image;
    QPainter m_painter;
    QTransform m_transform; // device units to the result's pixels
    Mix m_mix = Mix::Copy;
};

} // namespace ostrovel::wmf
