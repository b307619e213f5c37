#include "fit/PictureStretch.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <optional>

namespace ostrovel {
namespace {

// Nearest whole number, exact halves to the even neighbour; nothing when the
// value does not fit a 32-bit integer (the conversion would overflow).
std::optional<std::int32_t> nearestInt32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default mode: to nearest, ties to even
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::optional<std::int32_t> floorInt32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    return nearestInt32(std::floor(value));
}

struct Placement {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The wider picture: the width spans the box, the height follows.
bool fitWidth(const StretchSurface& box, bool center, Placement& p)
{
    const double scaleWidth = box.ScaleWidth();
    if (scaleWidth == 0.0)
        return false; // division by zero
    const double factor = static_cast<double>(p.width) / scaleWidth;
    const auto height = nearestInt32(static_cast<double>(p.height) / factor);
    const auto width = nearestInt32(box.ScaleWidth());
    if (!height || !width)
        return false;
    p.height = *height;
    p.width = *width;
    if (center) {
        const auto y = floorInt32((static_cast<double>(box.ScaleHeight()) - p.height) / 2.0);
        if (!y)
            return false;
        p.y = *y;
    }
    return true;
}

// The taller picture (or equal ratios): the height spans the box.
bool fitHeight(const StretchSurface& box, bool center, Placement& p)
{
    const double scaleHeight = box.ScaleHeight();
    if (scaleHeight == 0.0)
        return false;
    const double factor = static_cast<double>(p.height) / scaleHeight;
    const auto width = nearestInt32(static_cast<double>(p.width) / factor);
    const auto height = nearestInt32(box.ScaleHeight());
    if (!width || !height)
        return false;
    p.width = *width;
    p.height = *height;
    if (center) {
        const auto x = floorInt32((static_cast<double>(box.ScaleWidth()) - p.width) / 2.0);
        if (!x)
            return false;
        p.x = *x;
    }
    return true;
}

bool centreUnscaled(const StretchSurface& box, Placement& p)
{
    const auto x = floorInt32((static_cast<double>(box.ScaleWidth()) - p.width) / 2.0);
    const auto y = floorInt32((static_cast<double>(box.ScaleHeight()) - p.height) / 2.0);
    if (!x || !y)
        return false;
    p.x = *x;
    p.y = *y;
    return true;
}

} // namespace

bool StretchPicture(StretchSurface& box, const StretchablePicture* pic, bool stretchSmall, bool center,
                    Colour backgroundColor)
{
    const double boxHeight = box.ScaleHeight();
    if (boxHeight == 0.0)
        return false; // the box ratio divides by the height
    const float boxRatio = static_cast<float>(static_cast<double>(box.ScaleWidth()) / boxHeight);
    if (!std::isfinite(boxRatio) || pic == nullptr)
        return false;

    const int mode = box.ScaleMode();
    const auto naturalWidth = nearestInt32(box.ScaleX(pic->Width(), kUnitHimetric, mode));
    if (!naturalWidth)
        return false;
    const auto naturalHeight = nearestInt32(box.ScaleY(pic->Height(), kUnitHimetric, mode));
    if (!naturalHeight)
        return false;
    if (*naturalWidth <= 0 || *naturalHeight <= 0)
        return true; // an empty picture leaves the box alone

    Placement p{0, 0, *naturalWidth, *naturalHeight};
    const float picRatio = static_cast<float>(static_cast<double>(p.width) / p.height);
    const bool scaled = p.width > static_cast<double>(box.ScaleWidth())
                        || p.height > static_cast<double>(box.ScaleHeight()) || stretchSmall;
    bool ok = true;
    if (scaled)
        ok = picRatio > boxRatio ? fitWidth(box, center, p) : fitHeight(box, center, p);
    else if (center)
        ok = centreUnscaled(box, p);
    if (!ok)
        return false;

    box.ClearPicture();
    box.SetBackColor(backgroundColor);
    box.SetAutoRedraw(true);
    if (!box.PaintPicture(*pic, p.x, p.y, p.width, p.height))
        return false;
    box.PictureFromImage();
    box.SetAutoRedraw(false);
    return true;
}

} // namespace ostrovel
