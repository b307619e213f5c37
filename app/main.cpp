#include "app/Form1.h"
#include "export/StopSignals.h"
#include "app/Translations.h"
#include "app/WindowPlacement.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    // Answered before Qt starts, so it needs no display and opens no window.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ostrovel %d.%d.%d\n", OSTROVEL_VERSION_MAJOR, OSTROVEL_VERSION_MINOR, OSTROVEL_VERSION_PATCH);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    QApplication app(argc, argv);
    // Killed by TERM or HUP (a logout) mid-export, no temporary file stays behind.
    ostrovel::InstallStopHandlers();
    ostrovel::InstallQtTranslations(app);
    ostrovel::Form1 form;
    // Open centred on the screen with a client area of 1028 x 614.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        ostrovel::PlaceWindow(form, QSize(1028, 614), screen->availableGeometry());
    form.show();
    return app.exec();
}
