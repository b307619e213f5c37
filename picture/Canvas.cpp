#include "picture/Canvas.h"

#include "picture/Picture.h"
#include "picture/LargeImage.h"

#include <QPainter>

#include <cmath>

namespace ostrovel {
namespace {

// Pixels per unit for the unit codes the canvas converts between.
double pixelsPer(int unit)
{
    switch (unit) {
    case kUnitHimetric:
        return kPixelsPerInch / kHimetricPerInch;
    case kUnitUser:
    case kUnitPixel:
        return 1.0;
    default:
        return std::nan("");
    }
}

bool acceptableExtent(double v)
{
    return std::isfinite(v) && v >= 0.0 && v <= kMaxCanvasExtent;
}

} // namespace

QColor ToQColor(Colour colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

Colour FromQColor(const QColor& colour)
{
    return Colour(colour.red()) | (Colour(colour.green()) << 8) | (Colour(colour.blue()) << 16);
}

Canvas::Canvas(QSize size, Colour backColor) : m_size(size), m_backColor(backColor) {}

bool Canvas::Move(double left, double top, double width, double height)
{
    if (!acceptableExtent(width) || !acceptableExtent(height) || !std::isfinite(left) || !std::isfinite(top)
        || std::abs(left) > kMaxCanvasExtent || std::abs(top) > kMaxCanvasExtent)
        return false;
    // nearbyint: halves go to the even neighbour.
    m_position = QPoint(int(std::nearbyint(left)), int(std::nearbyint(top)));
    m_size = QSize(int(std::nearbyint(width)), int(std::nearbyint(height)));
    notify();
    return true;
}

void Canvas::setPicture(const QImage& picture)
{
    m_picture = picture;
    notify();
}

QImage Canvas::Image() const
{
    if (m_picture.size() == m_size && m_picture.format() == QImage::Format_RGB32)
        return m_picture;
    QImage image = MakeLargeImage(m_size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(ToQColor(m_backColor));
    if (!m_picture.isNull()) {
        QPainter painter(&image);
        painter.drawImage(QPoint(0, 0), m_picture);
    }
    return image;
}

float Canvas::ScaleX(double value, int from, int to) const
{
    return float(value * pixelsPer(from) / pixelsPer(to));
}

float Canvas::ScaleY(double value, int from, int to) const
{
    return ScaleX(value, from, to); // square pixels
}

void Canvas::ClearPicture()
{
    setPicture(QImage());
}

void Canvas::SetBackColor(Colour colour)
{
    m_backColor = colour;
    notify();
}

void Canvas::SetAutoRedraw(bool on)
{
    m_autoRedraw = on;
    if (!on) {
        m_drawing = QImage();
        return;
    }
    m_drawing = Image(); // the background as it stands, picture included
}

bool Canvas::PaintPicture(const StretchablePicture& pic, std::int32_t x, std::int32_t y, std::int32_t width,
                          std::int32_t height)
{
    const auto* picture = dynamic_cast<const Picture*>(&pic);
    if (!m_autoRedraw || picture == nullptr || m_drawing.isNull() || width < 0 || height < 0)
        return false;
    if (width == 0 || height == 0)
        return true; // nothing to draw
    return picture->drawInto(m_drawing, QRect(x, y, width, height));
}

void Canvas::PictureFromImage()
{
    setPicture(m_drawing);
}

void Canvas::notify()
{
    if (m_changed)
        m_changed();
}

} // namespace ostrovel
