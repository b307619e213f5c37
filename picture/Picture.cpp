#include "Picture.h"

#include "Resample.h"

#include <cmath>

namespace ostrovel {

std::int32_t PixelsToHimetric(int pixels)
{
    return static_cast<std::int32_t>(std::nearbyint(pixels * kHimetricPerInch / kPixelsPerInch));
}

Picture::Picture(std::int32_t widthHimetric, std::int32_t heightHimetric)
    : m_width(widthHimetric), m_height(heightHimetric)
{
}

RasterPicture::RasterPicture(QSize naturalSize, QImage pixels, QRectF area)
    : Picture(PixelsToHimetric(naturalSize.width()), PixelsToHimetric(naturalSize.height())),
      m_pixels(std::move(pixels)), m_area(area)
{
    // Full colour (palette and 1-bit pictures too), premultiplied so that the
    // kernel weighs transparent pixels right.
    if (m_pixels.hasAlphaChannel())
        m_pixels.convertTo(QImage::Format_ARGB32_Premultiplied);
    else if (m_pixels.format() != QImage::Format_RGB32)
        m_pixels.convertTo(QImage::Format_RGB32);
    if (m_area.isEmpty())
        m_area = QRectF(QPointF(0, 0), QSizeF(m_pixels.size()));
}

QImage RasterPicture::render(QSize size) const
{
    if (size.isEmpty() || m_pixels.isNull())
        return {};
    if (size == m_pixels.size() && m_area == QRectF(QPointF(0, 0), QSizeF(size)))
        return m_pixels;
    QImage out(size, m_pixels.format());
    if (out.isNull())
        return {};
    const SourcePixels source{m_pixels.constBits(), m_pixels.width(), m_pixels.height(), m_pixels.bytesPerLine()};
    const TargetPixels target{out.bits(), out.width(), out.height(), out.bytesPerLine()};
    const SourceArea area{m_area.x(), m_area.y(), m_area.width(), m_area.height()};
    if (!Resample(source, area, target, !m_pixels.hasAlphaChannel()))
        return {};
    return out;
}

} // namespace ostrovel
