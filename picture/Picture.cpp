#include "picture/Picture.h"

#include "fit/Resample.h"

#include <QPainter>

#include <cmath>
#include <utility>

namespace ostrovel {
namespace {

// Red and blue trade places in every pixel of `pixels` (RGBX <-> BGRX).
void swapRedBlue(const TargetPixels& pixels)
{
    for (int y = 0; y < pixels.height; ++y) {
        std::uint8_t* p = pixels.bits + std::ptrdiff_t(y) * pixels.bytesPerLine;
        for (int x = 0; x < pixels.width; ++x, p += 4)
            std::swap(p[0], p[2]);
    }
}

} // namespace

std::int32_t PixelsToHimetric(int pixels)
{
    return static_cast<std::int32_t>(std::nearbyint(pixels * kHimetricPerInch / kPixelsPerInch));
}

Picture::Picture(std::int32_t widthHimetric, std::int32_t heightHimetric)
    : m_width(widthHimetric), m_height(heightHimetric)
{
}

bool Picture::drawInto(QImage& canvas, QRect rect) const
{
    const QImage drawn = render(rect.size());
    if (drawn.isNull())
        return false;
    QPainter painter(&canvas);
    painter.drawImage(rect.topLeft(), drawn); // composited; never stretched here
    return true;
}

RasterPicture::RasterPicture(QSize naturalSize, QImage pixels, QRectF area, bool palette)
    : Picture(PixelsToHimetric(naturalSize.width()), PixelsToHimetric(naturalSize.height())),
      m_pixels(std::move(pixels)), m_area(area), m_palette(palette || !m_pixels.colorTable().isEmpty())
{
    // Full colour (palette and 1-bit pictures too), premultiplied so that the
    // kernel weighs transparent pixels right. Opaque RGBX, as the libraries
    // decode, stays as it is: the kernel treats the three colours alike, so
    // only the drawn pixels need red and blue swapped, not the whole photo.
    if (m_pixels.hasAlphaChannel())
        m_pixels.convertTo(QImage::Format_ARGB32_Premultiplied);
    else if (m_pixels.format() != QImage::Format_RGB32 && m_pixels.format() != QImage::Format_RGBX8888)
        m_pixels.convertTo(QImage::Format_RGB32);
    if (m_area.isEmpty())
        m_area = QRectF(QPointF(0, 0), QSizeF(m_pixels.size()));
}

bool RasterPicture::unscaled(QSize size) const
{
    return size == m_pixels.size() && m_area == QRectF(QPointF(0, 0), QSizeF(size));
}

bool RasterPicture::resampleInto(QImage& target, QRect rect) const
{
    const SourcePixels source{m_pixels.constBits(), m_pixels.width(), m_pixels.height(), m_pixels.bytesPerLine()};
    uchar* const bits = target.bits() + rect.y() * target.bytesPerLine() + 4 * rect.x();
    const TargetPixels into{bits, rect.width(), rect.height(), target.bytesPerLine()};
    const SourceArea area{m_area.x(), m_area.y(), m_area.width(), m_area.height()};
    if (!Resample(source, area, into, !m_pixels.hasAlphaChannel(), m_palette ? Light::Srgb : Light::Linear))
        return false;
    if (m_pixels.format() != target.format())
        swapRedBlue(into);
    return true;
}

QImage RasterPicture::render(QSize size) const
{
    if (size.isEmpty() || m_pixels.isNull())
        return {};
    if (unscaled(size))
        return m_pixels;
    QImage out(size, m_pixels.format());
    if (out.isNull() || !resampleInto(out, out.rect()))
        return {};
    return out;
}

bool RasterPicture::drawInto(QImage& canvas, QRect rect) const
{
    // An opaque picture covers its rectangle, so it is resampled straight into
    // the canvas: a large canvas is not held twice.
    const bool direct = !m_pixels.hasAlphaChannel() && !m_pixels.isNull() && !rect.isEmpty()
                        && canvas.format() == QImage::Format_RGB32 && canvas.rect().contains(rect)
                        && !unscaled(rect.size());
    if (!direct)
        return Picture::drawInto(canvas, rect);
    return canvas.bits() != nullptr && resampleInto(canvas, rect);
}

} // namespace ostrovel
