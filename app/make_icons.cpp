// Writes the icon as PNG files for the desktop's icon theme:
// make-icons OUTDIR SIZE... writes OUTDIR/SIZE/ostrovel.png.

#include "app/AppIcon.h"

#include <QDir>
#include <QGuiApplication>

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 64;
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        const QString folder = out + u'/' + QString::number(size);
        if (size <= 0 || !QDir().mkpath(folder) || !ostrovel::DrawAppIcon(size).save(folder + "/ostrovel.png"))
            return 1;
    }
    return 0;
}
