#include "AppIcon.h"

#include <QPainter>

namespace ostrovel {

// A small picture stacked on a big one: the tool makes many small ones from big ones.
QImage DrawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_RGB888);
    image.fill(QColor(128, 64, 0));
    QPainter p(&image);
    p.scale(size / 32.0, size / 32.0); // drawn on a 32 x 32 grid
    p.fillRect(QRectF(3, 5, 20, 16), QColor(250, 245, 230));
    p.fillRect(QRectF(5, 7, 16, 12), QColor(70, 130, 180));
    p.fillRect(QRectF(5, 14, 16, 5), QColor(60, 140, 60));
    p.fillRect(QRectF(12, 13, 18, 14), QColor(255, 255, 255));
    p.fillRect(QRectF(14, 15, 14, 10), QColor(230, 160, 40));
    p.fillRect(QRectF(14, 21, 14, 4), QColor(60, 140, 60));
    p.end();
    return image;
}

} // namespace ostrovel
