#pragma once
// The canvas on the window: shows a Canvas and follows its geometry.

#include "Canvas.h"

#include <QWidget>

namespace ostrovel {

class CanvasView : public QWidget {
    Q_OBJECT
public:
    /// Starts at `size` with the window's background colour.
    CanvasView(QSize size, QWidget* parent = nullptr);
    Canvas& canvas() { return m_canvas; }
    const Canvas& canvas() const { return m_canvas; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    Canvas m_canvas;
};

} // namespace ostrovel
