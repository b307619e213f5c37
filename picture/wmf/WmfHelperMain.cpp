// ostrovel-wmf: reads one metafile in a short-lived process of its own, so
// that a metafile that crashes libwmf only ends this process. The protocol
// is described in WmfProtocol.h.

#include "WmfPlayer.h"
#include "WmfProtocol.h"
#include "WriteAll.h"

#include <QFile>
#include <QGuiApplication>
#include <QStringList>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using namespace ostrovel::wmf;
using ostrovel::writeAll;

// The metafile's bytes, or nothing when it cannot be read or is too large.
std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > protocol::kMaxFileBytes)
        return std::nullopt;
    QByteArray bytes = file.read(protocol::kMaxFileBytes + 1);
    if (bytes.size() > protocol::kMaxFileBytes)
        return std::nullopt;
    return bytes;
}

int probe(int out, const QString& path)
{
    const std::optional<QByteArray> bytes = readFile(path);
    const std::optional<WmfSize> size = bytes ? probeMetafile(*bytes) : std::nullopt;
    if (!size)
        return protocol::kExitUnreadable;
    const std::string line = std::to_string(size->widthHimetric) + ' ' + std::to_string(size->heightHimetric) + '\n';
    return writeAll(out, line.data(), line.size()) ? protocol::kExitOk : protocol::kExitFailed;
}

int render(int out, const QString& widthText, const QString& heightText, const QString& path)
{
    bool wOk = false;
    bool hOk = false;
    const int width = widthText.toInt(&wOk);
    const int height = heightText.toInt(&hOk);
    if (!wOk || !hOk || !protocol::sizeAllowed(width, height))
        return protocol::kExitUsage;
    const std::optional<QByteArray> bytes = readFile(path);
    if (!bytes)
        return protocol::kExitUnreadable;
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

// Lets the tests see the client give up on a helper that never answers.
void hangWhenAsked()
{
    const char* hang = std::getenv("OSTROVEL_WMF_TEST_HANG");
    if (hang && *hang)
        ::sleep(60);
}

} // namespace

int main(int argc, char** argv)
{
    // Standard output is the data channel: keep it for ourselves and send
    // whatever libraries print there to standard error instead.
    const int out = ::dup(STDOUT_FILENO);
    if (out < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return protocol::kExitFailed;
    hangWhenAsked();
    // Our arguments are taken before Qt could read a file name as one of its
    // own options.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QFile::decodeName(argv[i]));
    // Fonts need a platform; the helper never shows anything.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    int status = protocol::kExitUsage;
    if (args.size() == 3 && args[1] == QLatin1String("--probe"))
        status = probe(out, args[2]);
    else if (args.size() == 5 && args[1] == QLatin1String("--render"))
        status = render(out, args[2], args[3], args[4]);
    ::close(out);
    return status;
}
