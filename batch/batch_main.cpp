// ostrovel-batch: the window's export without the window, for scripts.

#include "batch/BatchCommand.h"
#include "common/FileNames.h"

#include <QGuiApplication>

namespace {

// A script's stderr carries our messages only: Qt's warnings (such as
// "XDG_RUNTIME_DIR not set" without a desktop session) are dropped; a fatal
// one is said, as it ends the program.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
        ostrovel::WriteMessage("ostrovel-batch: " + message.toLocal8Bit() + '\n');
}

} // namespace

int main(int argc, char* argv[])
{
    ostrovel::KeepStderrForMessages();
    qInstallMessageHandler(quietMessages);
    // Our arguments are bytes (file names need not be UTF-8), all of them ours.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << ostrovel::DecodeFileName(QByteArray(argv[i]));
    const ostrovel::ParsedArguments parsed = ostrovel::ParseBatchArguments(arguments);
    if (parsed.action != ostrovel::ParsedArguments::Run)
        return ostrovel::AnswerWithoutRunning(parsed);

    // No window is opened; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own option parsing sees none of our arguments: a file named
    // "-platform" is a file.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    return ostrovel::RunBatch(parsed.options);
}
