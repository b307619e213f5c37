#include "Form1.h"
#include "Translations.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    ostrovel::InstallQtTranslations(app);
    ostrovel::Form1 form;
    // Open centred on the screen with a client area of 1028 x 614.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(1028, 614),
                                             screen->availableGeometry()));
    form.show();
    return app.exec();
}
