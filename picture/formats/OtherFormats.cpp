#include "picture/formats/OtherFormats.h"
#include "common/ReadableFile.h"
#include "picture/Limits.h"
#include "picture/formats/FormatSniff.h"

#include <cerrno>
#include <unistd.h>

namespace ostrovel::formats {
namespace {

// The file's first bytes, as many as there are up to kSniffBytes.
QByteArray head(int fd)
{
    QByteArray bytes(kSniffBytes, '\0');
    ssize_t got;
    do
        got = ::pread(fd, bytes.data(), std::size_t(bytes.size()), 0);
    while (got < 0 && errno == EINTR);
    bytes.truncate(std::max<qsizetype>(got, 0));
    return bytes;
}

} // namespace

QString UnknownFormatReason()
{
    return QStringLiteral("not a picture in a format read here (JPEG, BMP, GIF, WMF, PNG, WebP, TIFF, HEIF, AVIF, "
                          "JPEG XL)");
}

std::optional<Decoded> ReadOtherFormat(int fd, QSize fitBox, QString& reason)
{
    const OtherFormat format = SniffOtherFormat(head(fd));
    if (format == OtherFormat::None) {
        reason = UnknownFormatReason();
        return std::nullopt;
    }
    const QByteArray bytes = ReadAtMost(fd, 0, kMaxOtherFileBytes, reason);
    if (!reason.isEmpty())
        return std::nullopt;
    switch (format) {
    case OtherFormat::Png:
        return DecodePng(bytes, fitBox, reason);
    case OtherFormat::Webp:
        return DecodeWebp(bytes, fitBox, reason);
    case OtherFormat::Tiff:
        return DecodeTiff(bytes, fitBox, reason);
    case OtherFormat::Heif:
        return DecodeHeif(bytes, fitBox, reason);
    case OtherFormat::Jxl:
        return DecodeJxl(bytes, fitBox, reason);
    case OtherFormat::None:
        break;
    }
    return std::nullopt;
}

} // namespace ostrovel::formats
