// ostrovel-wmf: reads one metafile in a short-lived process of its own, so
// that a metafile that crashes libwmf only ends this process. The protocol
// is described in WmfProtocol.h.

#include "picture/wmf/WmfPlayer.h"
#include "picture/wmf/WmfProtocol.h"
#include "common/WriteAll.h"
#include "common/ReadableFile.h"

#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace ostrovel::wmf;
using ostrovel::writeAll;

// The metafile's bytes from standard input (opened by the client, which
// keeps its own offset: read by position), or the exit status saying why not.
std::optional<QByteArray> readInput(int& status)
{
    QString reason;
    QByteArray bytes = ostrovel::ReadAtMost(STDIN_FILENO, 0, protocol::kMaxFileBytes, reason);
    if (!reason.isEmpty()) {
        status = reason == QLatin1String("too large") ? protocol::kExitTooLarge
            : reason == QLatin1String("not enough memory") ? protocol::kExitNoMemory
                                                            : protocol::kExitUnreadable;
        return std::nullopt;
    }
    return bytes;
}

int probe(int out)
{
    int status = protocol::kExitUnreadable;
    const std::optional<QByteArray> bytes = readInput(status);
    if (!bytes)
        return status;
    const std::optional<WmfSize> size = probeMetafile(*bytes);
    if (!size)
        return protocol::kExitUnreadable;
    const std::string line = std::to_string(size->widthHimetric) + ' ' + std::to_string(size->heightHimetric) + '\n';
    return writeAll(out, line.data(), line.size()) ? protocol::kExitOk : protocol::kExitFailed;
}

int render(int out, const QString& widthText, const QString& heightText)
{
    bool wOk = false;
    bool hOk = false;
    const int width = widthText.toInt(&wOk);
    const int height = heightText.toInt(&hOk);
    if (!wOk || !hOk || !protocol::sizeAllowed(width, height))
        return protocol::kExitUsage;
    int status = protocol::kExitUnreadable;
    const std::optional<QByteArray> bytes = readInput(status);
    if (!bytes)
        return status;
    const QImage image = renderMetafile(*bytes, QSize(width, height));
    if (image.isNull() || image.format() != QImage::Format_ARGB32_Premultiplied
        || image.bytesPerLine() != width * 4)
        return protocol::kExitFailed;
    protocol::RenderHeader header{};
    std::memcpy(header.magic, protocol::kRenderMagic, sizeof header.magic);
    header.width = static_cast<std::uint32_t>(width);
    header.height = static_cast<std::uint32_t>(height);
    header.bytesPerPixel = 4;
    const bool written = writeAll(out, &header, sizeof header)
        && writeAll(out, image.constBits(), static_cast<std::size_t>(image.sizeInBytes()));
    return written ? protocol::kExitOk : protocol::kExitFailed;
}

// Lets the tests see the client give up on a helper that works without end
// (always, or only when drawing: "render"), and keep one that first waits
// (as on a machine busy with other work).
void stallWhenAsked(const QStringList& args)
{
    const QByteArray hang = qgetenv("OSTROVEL_WMF_TEST_HANG");
    const bool spin = !hang.isEmpty() && (hang != "render" || args.value(1) == QLatin1String("--render"));
    volatile unsigned long spins = 0;
    while (spin)
        spins = spins + 1;
    if (const char* wait = std::getenv("OSTROVEL_WMF_TEST_WAIT_MS"))
        ::usleep(useconds_t(std::atoi(wait)) * 1000);
}

// Dies with the process that started it (`--parent PID`): once main has
// asked the kernel to kill the helper when its parent goes, a parent gone
// before that shows as a different parent here. (The kernel means the
// parent's thread that started the helper; the client waits for the helper
// in that thread.) Limits its own address space (`--memory
// BYTES`) and writes no core files. Removes these options from `args`;
// false when the parent is gone.
bool bindToParent(QStringList& args)
{
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    for (;;) {
        if (args.size() >= 3 && args[1] == QLatin1String("--parent")) {
            if (::getppid() != pid_t(args[2].toLongLong()))
                return false;
        } else if (args.size() >= 3 && args[1] == QLatin1String("--memory")) {
            const rlim_t bytes = rlim_t(args[2].toULongLong());
            const rlimit memory{bytes, bytes};
            ::setrlimit(RLIMIT_AS, &memory);
        } else {
            return true;
        }
        args.remove(1, 2);
    }
}

int run(int out, const QStringList& args)
{
    if (args.size() == 2 && args[1] == QLatin1String("--probe"))
        return probe(out);
    if (args.size() == 4 && args[1] == QLatin1String("--render"))
        return render(out, args[2], args[3]);
    return protocol::kExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // first: see bindToParent
    // Our arguments are taken before Qt could read one as its own option.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QFile::decodeName(argv[i]));
    if (!bindToParent(args))
        return protocol::kExitFailed;
    // Standard output is the data channel: keep it for ourselves and send
    // whatever libraries print there to standard error instead.
    const int out = ::dup(STDOUT_FILENO);
    if (out < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return protocol::kExitFailed;
    stallWhenAsked(args);
    // Fonts need a platform; the helper never shows anything.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    try {
        QGuiApplication app(qtArgc, argv);
        const int status = run(out, args);
        ::close(out);
        return status;
    } catch (const std::bad_alloc&) {
        return protocol::kExitNoMemory;
    }
}
