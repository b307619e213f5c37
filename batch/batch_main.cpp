// ostrovel-batch: the window's export without the window, for scripts.

#include "BatchCommand.h"

#include <QGuiApplication>

int main(int argc, char* argv[])
{
    // No window is opened; the offscreen platform needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return ostrovel::RunBatch(QCoreApplication::arguments());
}
