#include "Form1.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace ostrovel {

// A stack of two framed pictures: the tool makes many small ones from big ones.
QIcon MakeAppIcon()
{
    QImage image(32, 32, QImage::Format_RGB888); // 24-bit, no alpha
    image.fill(QColor(128, 64, 0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(3, 5, 20, 16, QColor(250, 245, 230));
    p.fillRect(5, 7, 16, 12, QColor(70, 130, 180));
    p.fillRect(5, 14, 16, 5, QColor(60, 140, 60));
    p.fillRect(12, 13, 18, 14, QColor(255, 255, 255));
    p.fillRect(14, 15, 14, 10, QColor(230, 160, 40));
    p.fillRect(14, 21, 14, 4, QColor(60, 140, 60));
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

} // namespace ostrovel
