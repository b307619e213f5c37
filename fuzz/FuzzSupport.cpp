#include "fuzz/FuzzSupport.h"

#include "picture/Canvas.h"
#include "picture/Picture.h"
#include "export/Render.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Qt's font database keeps the patterns fontconfig hands it for the life of
// the process, without a pointer LeakSanitizer can see; they are not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace ostrovel::fuzz {

void StartApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Both must outlive the application, which is never destroyed.
    static int argc = 1;
    static char name[] = "ostrovel-fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

namespace {

// The scratch files written, removed when the process ends normally.
struct ScratchFiles {
    QStringList paths;
    ~ScratchFiles()
    {
        for (const QString& path : paths)
            QFile::remove(path);
    }
};

} // namespace

QString WriteScratchFile(const std::uint8_t* data, std::size_t size, const char* suffix)
{
    static ScratchFiles written;
    static const QString folder = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                                      : QStringLiteral("/tmp");
    const QString path =
        QStringLiteral("%1/ostrovel-fuzz-%2.%3").arg(folder).arg(::getpid()).arg(QLatin1String(suffix));
    QFile file(path);
    const auto length = static_cast<qint64>(size);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(data), length) != length)
        Fail("cannot write the scratch file");
    if (!written.paths.contains(path))
        written.paths.append(path);
    return path;
}

QSize CanvasSizeFor(std::size_t selector)
{
    static const QSize sizes[] = {QSize(158, 158), QSize(301, 67), QSize(40, 250), QSize(1, 1)};
    return sizes[selector % std::size(sizes)];
}

void FitIntoCanvas(const Picture* picture, QSize size)
{
    Canvas canvas(size, 0x336699);
    const RenderOutcome outcome = FitLoaded(canvas, picture);
    if (canvas.size() != size)
        Fail("the fitting changed the canvas size");
    if (outcome.loaded && canvas.picture().size() != size)
        Fail("a loaded picture left a canvas picture of the wrong size");
}

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

} // namespace ostrovel::fuzz
