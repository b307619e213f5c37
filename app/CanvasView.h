#pragma once
// The canvas on the window: shows a Canvas and follows its geometry.

#include "picture/Canvas.h"

#include <QWidget>

namespace ostrovel {

class CanvasView : public QWidget {
    Q_OBJECT
public:
    /// Starts at `size` with the window's background colour.
    CanvasView(QSize size, QWidget* parent = nullptr);
    Canvas& canvas() { return m_canvas; }
    const Canvas& canvas() const { return m_canvas; }
    /// A rendering of the canvas's picture at the screen's device pixel
    /// ratio, shown instead of the picture until the canvas changes.
    void setDisplayImage(const QImage& image) { m_display = image; update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    Canvas m_canvas;
    QImage m_display;
};

} // namespace ostrovel
