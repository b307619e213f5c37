#include "app/CanvasView.h"

#include <QPainter>

namespace ostrovel {

CanvasView::CanvasView(QSize size, QWidget* parent)
    : QWidget(parent), m_canvas(size, FromQColor(palette().color(QPalette::Window)))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(QRect(QPoint(0, 0), size));
    m_canvas.setChangedCallback([this] { follow(); });
}

void CanvasView::follow()
{
    m_display = QImage();
    const QRect wanted(m_canvas.position(), m_canvas.size());
    if (geometry() != wanted)
        setGeometry(wanted);
    update();
}

void CanvasView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(m_canvas.BackColor()));
    if (!m_display.isNull())
        painter.drawImage(QPoint(0, 0), m_display); // device pixels, one to one
    else if (!m_canvas.picture().isNull())
        painter.drawImage(QPoint(0, 0), m_canvas.picture());
}

} // namespace ostrovel
