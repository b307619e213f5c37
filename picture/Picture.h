#pragma once
// The picture object: a loaded picture with its natural size, drawable at
// any size.

#include "picture/Limits.h"
#include "fit/PictureStretch.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>

namespace ostrovel {

/// Pixels to HIMETRIC, rounded to the nearest unit.
std::int32_t PixelsToHimetric(int pixels);

class Picture : public StretchablePicture {
public:
    /// Natural size in HIMETRIC.
    Picture(std::int32_t widthHimetric, std::int32_t heightHimetric);
    std::int32_t Width() const override { return m_width; }
    std::int32_t Height() const override { return m_height; }

    /// The whole picture drawn at exactly `size` pixels, premultiplied ARGB,
    /// transparent where it draws nothing. Null when it cannot be drawn.
    virtual QImage render(QSize size) const = 0;

    /// Draws the whole picture into `rect` of `canvas` (Format_RGB32),
    /// composited over what is there. False when it cannot be drawn.
    virtual bool drawInto(QImage& canvas, QRect rect) const;

    /// Why the last drawing failed, in English, when the picture knows
    /// better than "cannot be drawn at this size"; else empty.
    virtual QString drawFailure() const { return {}; }

private:
    std::int32_t m_width;
    std::int32_t m_height;
};

/// A picture held as decoded pixels, possibly decoded smaller than its
/// natural size when it is known to be drawn small.
class RasterPicture : public Picture {
public:
    /// `naturalSize` is the upright size in pixels; `pixels` may be smaller.
    /// `area` is the part of `pixels` the picture covers (all of it when
    /// empty): a reduced decode can end in a partial pixel. A `palette`
    /// picture (and any of pixels with a colour table) is averaged in its
    /// sRGB values, as its dithering was made; others in linear light.
    RasterPicture(QSize naturalSize, QImage pixels, QRectF area = QRectF(), bool palette = false);
    QImage render(QSize size) const override;
    bool drawInto(QImage& canvas, QRect rect) const override;
    /// The decoded pixels (for tests of the decode size).
    const QImage& pixels() const { return m_pixels; }

private:
    /// True when `size` shows the pixels as they are.
    bool unscaled(QSize size) const;
    /// Resamples the picture into `rect` of `target` (which holds it).
    bool resampleInto(QImage& target, QRect rect) const;

    QImage m_pixels;
    QRectF m_area;
    bool m_palette;
};

} // namespace ostrovel
