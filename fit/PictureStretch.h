#pragma once
// Fits a picture into a drawing surface with its aspect ratio kept.

#include "common/Colour.h"

namespace ostrovel {

/// Unit codes of the surface's scale conversions.
enum ScaleUnit : int { kUnitUser = 0, kUnitPixel = 3, kUnitHimetric = 8 };

/// A picture as the fitting sees it: only its natural size.
class StretchablePicture {
public:
    virtual ~StretchablePicture() = default;
    /// Natural width in HIMETRIC (0.01 mm).
    virtual std::int32_t Width() const = 0;
    /// Natural height in HIMETRIC (0.01 mm).
    virtual std::int32_t Height() const = 0;
};

/// The few operations of a picture box that the fitting uses. Sizes and
/// positions are in the surface's own scale units.
class StretchSurface {
public:
    virtual ~StretchSurface() = default;
    /// Interior width in scale units (single precision, may be fractional).
    virtual float ScaleWidth() const = 0;
    /// Interior height in scale units.
    virtual float ScaleHeight() const = 0;
    /// The code of the surface's scale unit.
    virtual int ScaleMode() const = 0;
    /// Converts a horizontal extent from unit `from` into unit `to`.
    virtual float ScaleX(double value, int from, int to) const = 0;
    /// Converts a vertical extent from unit `from` into unit `to`.
    virtual float ScaleY(double value, int from, int to) const = 0;
    /// Drops the persistent picture (Picture = nothing).
    virtual void ClearPicture() = 0;
    virtual void SetBackColor(Colour colour) = 0;
    /// True: drawing goes into a persistent canvas filled with BackColor.
    virtual void SetAutoRedraw(bool on) = 0;
    /// Draws the whole picture stretched into the rectangle; false on failure.
    virtual bool PaintPicture(const StretchablePicture& pic, std::int32_t x, std::int32_t y,
                              std::int32_t width, std::int32_t height) = 0;
    /// Makes the persistent canvas the surface's picture (Picture = Image).
    virtual void PictureFromImage() = 0;
};

/// Draws `pic` into `box`: reduced when larger than the box, enlarged when
/// `stretchSmall`, centred when `center`, on `backgroundColor`. Returns false
/// when the call failed (a box extent of 0, no picture, a drawing failure,
/// an overflow); the box then keeps whatever the failed step had left it.
/// An empty picture returns true at once and changes nothing.
bool StretchPicture(StretchSurface& box, const StretchablePicture* pic, bool stretchSmall,
                    bool center, Colour backgroundColor);

} // namespace ostrovel
