#include "app/AppIcon.h"
#include "app/Form1.h"

#include <QIcon>
#include <QPixmap>

namespace ostrovel {

QIcon MakeAppIcon()
{
    return QIcon(QPixmap::fromImage(DrawAppIcon(32)));
}

} // namespace ostrovel
