#include "WmfClient.h"
#include "Limits.h"
#include "WmfProtocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QStringList>
#include <cstring>
#include <sys/resource.h>

namespace ostrovel::wmf {
namespace {

// The helper gets this long to start, read, draw and write, and is then killed.
constexpr int kTimeLimitMs = 5000;
constexpr rlim_t kMemoryLimit = rlim_t(kWmfHelperAddressSpaceBytes);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false; // the sanitizer reserves terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif
#else
constexpr bool kLimitAddressSpace = true;
#endif

// Runs in the child between fork and exec: only async-signal-safe calls.
void limitChild()
{
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (kLimitAddressSpace) {
        const rlimit memory{kMemoryLimit, kMemoryLimit};
        ::setrlimit(RLIMIT_AS, &memory);
    }
}

// The helper next to the running program, or where an installation keeps
// it; never looked up through PATH. Empty when there is none.
QString findHelper()
{
    if (!QCoreApplication::instance())
        return {};
    const QString dir = QCoreApplication::applicationDirPath();
    const QString name = QString::fromLatin1(protocol::kHelperName);
    for (const QString& candidate : {dir + u'/' + name, dir + QLatin1String("/../libexec/ostrovel/") + name}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

// Found once: applicationDirPath() fills a cache of its own that is not
// safe to fill from several threads at once.
QString helperPath()
{
    static QMutex mutex;
    static QString found;
    const QMutexLocker lock(&mutex);
    if (found.isEmpty())
        found = findHelper();
    return found;
}

// The helper's standard output when it ran to a successful end in time.
// Works without an event loop, so in any thread.
std::optional<QByteArray> runHelper(const QStringList& arguments)
{
    const QString program = helperPath();
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier(limitChild);
    const QDeadlineTimer deadline(kTimeLimitMs);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(int(deadline.remainingTime()))
        || !process.waitForFinished(int(deadline.remainingTime()))) {
        process.kill();
        process.waitForFinished(-1);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != protocol::kExitOk)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// "WIDTH HEIGHT\n", both positive decimal numbers.
std::optional<WmfSize> parseSize(const QByteArray& output)
{
    if (!output.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> fields = output.chopped(1).split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    bool wOk = false;
    bool hOk = false;
    const int width = fields[0].toInt(&wOk);
    const int height = fields[1].toInt(&hOk);
    if (!wOk || !hOk || width <= 0 || height <= 0)
        return std::nullopt;
    return WmfSize{width, height};
}

// The image in the helper's output when its header and length are exactly
// those of the requested size.
QImage parseImage(const QByteArray& output, QSize size)
{
    const qint64 pixelBytes = qint64(size.width()) * size.height() * 4;
    protocol::RenderHeader header{};
    if (output.size() != qint64(sizeof header) + pixelBytes)
        return {};
    std::memcpy(&header, output.constData(), sizeof header);
    if (std::memcmp(header.magic, protocol::kRenderMagic, sizeof header.magic) != 0 || header.bytesPerPixel != 4
        || header.width != std::uint32_t(size.width()) || header.height != std::uint32_t(size.height()))
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const char* pixels = output.constData() + sizeof header;
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), pixels + y * rowBytes, static_cast<std::size_t>(rowBytes));
    return image;
}

} // namespace

std::optional<WmfSize> ProbeWmf(const QString& file)
{
    const std::optional<QByteArray> output = runHelper({QStringLiteral("--probe"), file});
    return output ? parseSize(*output) : std::nullopt;
}

QImage RenderWmf(const QString& file, QSize size)
{
    if (!protocol::sizeAllowed(size.width(), size.height()))
        return {};
    const std::optional<QByteArray> output = runHelper(
        {QStringLiteral("--render"), QString::number(size.width()), QString::number(size.height()), file});
    return output ? parseImage(*output, size) : QImage();
}

} // namespace ostrovel::wmf
