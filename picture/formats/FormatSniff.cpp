#include "picture/formats/FormatSniff.h"

#include <QtEndian>

namespace ostrovel::formats {
namespace {

bool startsWith(const QByteArray& head, qsizetype at, const char* sig, qsizetype size)
{
    return head.size() >= at + size && head.mid(at, size) == QByteArray::fromRawData(sig, size);
}

// An ISO base media file whose brands name a HEIF still picture: HEIC,
// AVIF and plain HEIF (major brand first, then the compatible ones that fit
// in the head).
bool isHeif(const QByteArray& head)
{
    if (!startsWith(head, 4, "ftyp", 4) || head.size() < 12)
        return false;
    const quint32 boxSize = qFromBigEndian<quint32>(head.constData());
    const qsizetype end = std::min<qsizetype>(head.size(), boxSize);
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
    for (qsizetype at = 8; at + 4 <= end; at += 4) {
        if (at == 12)
            continue; // the minor version
        for (const char* brand : brands) {
            if (startsWith(head, at, brand, 4))
                return true;
        }
    }
    return false;
}

} // namespace

OtherFormat SniffOtherFormat(const QByteArray& head)
{
    if (startsWith(head, 0, "\x89PNG\r\n\x1a\n", 8))
        return OtherFormat::Png;
    if (startsWith(head, 0, "RIFF", 4) && startsWith(head, 8, "WEBP", 4))
        return OtherFormat::Webp;
    if (startsWith(head, 0, "II*\0", 4) || startsWith(head, 0, "MM\0*", 4) || startsWith(head, 0, "II+\0", 4)
        || startsWith(head, 0, "MM\0+", 4))
        return OtherFormat::Tiff;
    if (startsWith(head, 0, "\xff\x0a", 2) || startsWith(head, 0, "\0\0\0\x0cJXL \r\n\x87\n", 12))
        return OtherFormat::Jxl;
    if (isHeif(head))
        return OtherFormat::Heif;
    return OtherFormat::None;
}

const char* FormatName(OtherFormat format)
{
    switch (format) {
    case OtherFormat::Png:
        return "PNG";
    case OtherFormat::Webp:
        return "WebP";
    case OtherFormat::Tiff:
        return "TIFF";
    case OtherFormat::Heif:
        return "HEIF";
    case OtherFormat::Jxl:
        return "JPEG XL";
    case OtherFormat::None:
        break;
    }
    return "unknown";
}

} // namespace ostrovel::formats
