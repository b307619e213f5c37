#pragma once
// The canvas: a picture box measured in whole pixels, with a background
// colour, a persistent picture and the drawing the fitting paints into.

#include "picture/Limits.h"
#include "fit/PictureStretch.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <functional>

namespace ostrovel {

/// The colour value's red, green and blue as a QColor.
QColor ToQColor(Colour colour);
/// A QColor as a colour value.
Colour FromQColor(const QColor& colour);

class Canvas : public StretchSurface {
public:
    Canvas(QSize size, Colour backColor);

    /// Moves and sizes the canvas in window pixels. Fractional values round
    /// to the nearest pixel, halves to even. A negative, non-finite or too
    /// large size is rejected: false, and the canvas keeps its geometry.
    bool Move(double left, double top, double width, double height);
    QPoint position() const { return m_position; }
    QSize size() const { return m_size; }

    Colour BackColor() const { return m_backColor; }
    /// The persistent picture; null when there is none.
    const QImage& picture() const { return m_picture; }
    /// Sets the persistent picture (a null image: no picture).
    void setPicture(const QImage& picture);
    /// What the canvas shows: its size filled with the background colour
    /// and the persistent picture at the top-left corner.
    QImage Image() const;

    /// Called after every change that alters what the canvas shows.
    void setChangedCallback(std::function<void()> callback) { m_changed = std::move(callback); }

    // The surface the fitting draws on; one scale unit is one pixel.
    float ScaleWidth() const override { return float(m_size.width()); }
    float ScaleHeight() const override { return float(m_size.height()); }
    int ScaleMode() const override { return kUnitPixel; }
    float ScaleX(double value, int from, int to) const override;
    float ScaleY(double value, int from, int to) const override;
    void ClearPicture() override;
    void SetBackColor(Colour colour) override;
    void SetAutoRedraw(bool on) override;
    bool PaintPicture(const StretchablePicture& pic, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height) override;
    void PictureFromImage() override;

private:
    void notify();

    QPoint m_position;
    QSize m_size;
    Colour m_backColor;
    QImage m_picture;
    QImage m_drawing; // valid while AutoRedraw is on
    bool m_autoRedraw = false;
    std::function<void()> m_changed;
};

} // namespace ostrovel
