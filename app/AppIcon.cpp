#include "app/AppIcon.h"

#include <QPainter>

namespace ostrovel {

// A small picture stacked on a big one: the tool makes many small ones from big
// ones. Framed in the captions' brown; around them the icon is transparent, so
// it sits on any panel or menu. packaging/ostrovel.svg is the same drawing.
QImage DrawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0); // drawn on a 32 x 32 grid
    const QColor brown(128, 64, 0);
    p.fillRect(QRectF(1, 3, 24, 20), brown);
    p.fillRect(QRectF(3, 5, 20, 16), QColor(250, 245, 230));
    p.fillRect(QRectF(5, 7, 16, 12), QColor(70, 130, 180));
    p.fillRect(QRectF(5, 14, 16, 5), QColor(60, 140, 60));
    p.fillRect(QRectF(10, 11, 22, 18), brown);
    p.fillRect(QRectF(12, 13, 18, 14), QColor(255, 255, 255));
    p.fillRect(QRectF(14, 15, 14, 10), QColor(230, 160, 40));
    p.fillRect(QRectF(14, 21, 14, 4), QColor(60, 140, 60));
    p.end();
    return image;
}

} // namespace ostrovel
