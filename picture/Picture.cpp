#include "Picture.h"

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

RasterPicture::RasterPicture(QSize naturalSize, QImage pixels)
    : Picture(PixelsToHimetric(naturalSize.width()), PixelsToHimetric(naturalSize.height())),
      m_pixels(std::move(pixels))
{
    // Premultiplied so that area averaging weighs transparent pixels right.
    if (m_pixels.hasAlphaChannel())
        m_pixels.convertTo(QImage::Format_ARGB32_Premultiplied);
    else if (m_pixels.format() != QImage::Format_RGB32)
        m_pixels.convertTo(QImage::Format_RGB32);
}

QImage RasterPicture::render(QSize size) const
{
    if (size.isEmpty() || m_pixels.isNull())
        return {};
    if (size == m_pixels.size())
        return m_pixels;
    // Area averaging; a stretched paint would alias on large reductions.
    return m_pixels.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace ostrovel
