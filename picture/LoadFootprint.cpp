#include "picture/LoadFootprint.h"

#include "common/ReadableFile.h"
#include "picture/DecodeScale.h"
#include "picture/Limits.h"
#include "picture/PictureBytes.h"
#include "picture/formats/Decoders.h"
#include "picture/formats/FormatProbe.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrovel {
namespace {

// Bytes of `fd` at `offset`; fewer at the end of the file or on an error.
QByteArray readAt(int fd, qint64 offset, qsizetype length)
{
    QByteArray bytes(length, '\0');
    ssize_t got;
    do
        got = ::pread(fd, bytes.data(), std::size_t(length), off_t(offset));
    while (got < 0 && errno == EINTR);
    bytes.truncate(got < 0 ? 0 : qsizetype(got));
    return bytes;
}

int byteAt(const QByteArray& b, qsizetype at)
{
    return static_cast<unsigned char>(b.at(at));
}

int bigEndian16(const QByteArray& b, qsizetype at)
{
    return byteAt(b, at) << 8 | byteAt(b, at + 1);
}

qint64 pixelBytes(QSize size, int bytesPerPixel)
{
    return qint64(size.width()) * size.height() * bytesPerPixel;
}

// What a JPEG frame header says, with the Exif orientation seen before it.
struct JpegFrame {
    QSize stored;
    bool progressive = false;
    qint64 coefficientBytes = 0; // a progressive file keeps every block's coefficients
    int orientation = 1;
};

bool isFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

void readFrame(const QByteArray& sof, JpegFrame& frame)
{
    if (sof.size() < 6)
        return;
    frame.stored = QSize(bigEndian16(sof, 3), bigEndian16(sof, 1));
    const int components = byteAt(sof, 5);
    int hMax = 1, vMax = 1;
    for (int i = 0; i < components && 8 + 3 * i < sof.size(); ++i) {
        hMax = std::max(hMax, byteAt(sof, 7 + 3 * i) >> 4);
        vMax = std::max(vMax, byteAt(sof, 7 + 3 * i) & 15);
    }
    for (int i = 0; i < components && 8 + 3 * i < sof.size(); ++i) {
        const int h = std::max(1, byteAt(sof, 7 + 3 * i) >> 4), v = std::max(1, byteAt(sof, 7 + 3 * i) & 15);
        const qint64 columns = (qint64(frame.stored.width()) * h / hMax + 7) / 8 + hMax;
        const qint64 rows = (qint64(frame.stored.height()) * v / vMax + 7) / 8 + vMax;
        frame.coefficientBytes += columns * rows * 64 * 2;
    }
}

// Walks the marker segments up to the frame header; stops at the first scan.
JpegFrame jpegFrame(int fd)
{
    JpegFrame frame;
    bool exifSeen = false;
    qint64 at = 2;
    for (int segment = 0; segment < 1000; ++segment) {
        const QByteArray marker = readAt(fd, at, 4);
        if (marker.size() < 4 || byteAt(marker, 0) != 0xFF)
            return frame;
        const int code = byteAt(marker, 1);
        if (code == 0xFF || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at += code == 0xFF ? 1 : 2; // fill byte, or a marker without a length
            continue;
        }
        if (code == 0xDA || code == 0xD9)
            return frame;
        const int length = bigEndian16(marker, 2);
        if (isFrameMarker(code)) {
            frame.progressive = code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;
            readFrame(readAt(fd, at + 4, length - 2), frame);
            return frame;
        }
        if (code == 0xE1 && !exifSeen) {
            const QByteArray app1 = readAt(fd, at + 4, length - 2);
            if (app1.startsWith(QByteArrayLiteral("Exif\0\0"))) {
                exifSeen = true;
                frame.orientation = jpegdec::exifOrientation(
                    reinterpret_cast<const unsigned char*>(app1.constData()) + 6, std::size_t(app1.size() - 6));
            }
        }
        at += 2 + length;
    }
    return frame;
}

LoadFootprint jpegFootprint(int fd, qint64 fileBytes, QSize fitBox)
{
    const JpegFrame frame = jpegFrame(fd);
    if (frame.stored.isEmpty())
        return {};
    const int d = ReductionFor(jpegdec::uprightSize(frame.stored, frame.orientation), fitBox);
    const QSize output((frame.stored.width() + d - 1) / d, (frame.stored.height() + d - 1) / d);
    const qint64 pixels = pixelBytes(output, 4);
    if (pixels > kMaxJpegOutputBytes || std::max(frame.stored.width(), frame.stored.height()) > kMaxJpegSide)
        return {}; // refused before anything is allocated
    // Turning a picture upright copies it; a progressive file's coefficients
    // share the decoder's limit with the picture.
    const qint64 turned = frame.orientation > 1 ? pixels : 0;
    const qint64 coefficients = frame.progressive ? std::min<qint64>(frame.coefficientBytes, kMaxJpegOutputBytes - pixels) : 0;
    return {output, std::min<qint64>(fileBytes, kMaxJpegFileBytes) + pixels + turned + coefficients};
}

// A BMP's size and bits per pixel from its header.
LoadFootprint bmpFootprint(int fd, qint64 fileBytes)
{
    const QByteArray head = readAt(fd, 0, 54);
    if (head.size() < 26)
        return {};
    const bool core = qFromLittleEndian<quint32>(head.constData() + 14) == 12;
    const qint64 width = core ? qFromLittleEndian<quint16>(head.constData() + 18) : qFromLittleEndian<qint32>(head.constData() + 18);
    const qint64 height = std::llabs(core ? qFromLittleEndian<quint16>(head.constData() + 20)
                                          : qFromLittleEndian<qint32>(head.constData() + 22));
    const int bpp = head.size() >= 30 ? qFromLittleEndian<quint16>(head.constData() + (core ? 24 : 28)) : 32;
    const qint64 extent = BmpExtent(head);
    const qint64 read = std::min<qint64>(extent > 0 ? std::min<qint64>(extent, fileBytes) : fileBytes, kMaxRasterFileBytes);
    if (width <= 0 || height <= 0 || width * height > kMaxRasterPixels)
        return {QSize(), read}; // read, then refused by our check
    // Palette pictures are decoded as indices, then converted to 32 bits.
    const QSize size{int(width), int(height)};
    return {size, read + pixelBytes(size, bpp <= 8 ? 5 : 4)};
}

// A GIF's logical screen, grown to its first image as the decoder grows it.
LoadFootprint gifFootprint(int fd, qint64 fileBytes)
{
    const QByteArray head = readAt(fd, 0, qsizetype(std::min<qint64>(fileBytes, 64 << 10)));
    if (head.size() < 13)
        return {};
    QSize size(qFromLittleEndian<quint16>(head.constData() + 6), qFromLittleEndian<quint16>(head.constData() + 8));
    qsizetype at = 13 + ((byteAt(head, 10) & 0x80) ? 3 * (qsizetype(2) << (byteAt(head, 10) & 7)) : 0);
    while (at + 10 <= head.size() && byteAt(head, at) == 0x21) {
        at += 2;
        while (at < head.size() && byteAt(head, at) != 0)
            at += 1 + byteAt(head, at);
        ++at;
    }
    if (at + 10 <= head.size() && byteAt(head, at) == 0x2C) {
        const int right = qFromLittleEndian<quint16>(head.constData() + at + 1) + qFromLittleEndian<quint16>(head.constData() + at + 5);
        const int bottom = qFromLittleEndian<quint16>(head.constData() + at + 3) + qFromLittleEndian<quint16>(head.constData() + at + 7);
        size = size.expandedTo(QSize(right, bottom));
    }
    const qint64 read = std::min<qint64>(fileBytes, kMaxRasterFileBytes); // at most: reading stops after the first image
    if (size.isEmpty() || pixelBytes(size, 1) > kMaxRasterPixels)
        return {QSize(), read};
    // The screen in 32 bits, and the frame's indices as they are decoded.
    return {size, read + pixelBytes(size, 5)};
}

// A metafile is drawn at most at the box's size, by a helper that supersamples.
LoadFootprint wmfFootprint(qint64 fileBytes, QSize fitBox)
{
    const QSize drawn = fitBox.boundedTo(QSize(kMaxWmfSide, kMaxWmfSide));
    if (drawn.isEmpty())
        return {};
    const qint64 supersampled = qint64(std::min(kWmfSupersamplePixels, 16.0 * double(pixelBytes(drawn, 1)))) * 4;
    return {drawn, 2 * std::min<qint64>(fileBytes, kMaxWmfFileBytes) + 3 * pixelBytes(drawn, 4) + supersampled};
}

// The size a WebP is decoded at: reduced for the box, in whichever way its
// EXIF orientation (not read here) turns it.
QSize webpDecodedSize(const formats::Probe& probe, QSize fitBox)
{
    if (probe.animated)
        return probe.stored;
    return formats::ReducedDecodeSize(probe.stored, 1, fitBox).expandedTo(formats::ReducedDecodeSize(probe.stored, 6, fitBox));
}

// A HEIF's embedded thumbnail when it serves the box, else its primary image.
QSize heifDecodedSize(const formats::Probe& probe, QSize fitBox)
{
    const int thumbnail = formats::ServingThumbnail(probe.thumbnails, probe.upright, fitBox);
    return thumbnail < 0 ? probe.stored : probe.thumbnails[thumbnail];
}

// Bytes per decoded pixel held besides the 32-bit result, by the library's
// own buffers, for each format.
double workingBytesPerPixel(const formats::Probe& probe)
{
    const int sampleBytes = probe.bitsPerSample > 8 ? 2 : 1;
    switch (probe.format) {
    case formats::OtherFormat::Webp:
        return probe.animated ? 8 : 0; // the animation decoder's canvas and its previous one
    case formats::OtherFormat::Tiff:
        return sampleBytes == 2 ? 8 : 0; // 16-bit CMYK is read at 16 bits first
    case formats::OtherFormat::Heif:
        return 4.0 * sampleBytes + 4; // the coded planes, then the interleaved RGBA image
    case formats::OtherFormat::Jxl:
        return 16; // libjxl's float planes (capped below)
    case formats::OtherFormat::Png:
    case formats::OtherFormat::None:
        break;
    }
    return 0;
}

// PNG, WebP, TIFF, HEIF/AVIF and JPEG XL: the whole file is read, decoded at
// 32 bits, turned upright in a copy, with the library's working memory.
LoadFootprint otherFootprint(int fd, qint64 fileBytes, QSize fitBox)
{
    const std::optional<formats::Probe> probe = formats::ProbeOtherFormat(fd);
    if (!probe)
        return {};
    const qint64 read = std::min<qint64>(fileBytes, kMaxOtherFileBytes);
    if (!formats::DecodeAllowed(probe->stored.width(), probe->stored.height()))
        return {QSize(), read}; // read, then refused by the header's size
    const QSize decoded = probe->format == formats::OtherFormat::Webp ? webpDecodedSize(*probe, fitBox)
                          : probe->format == formats::OtherFormat::Heif ? heifDecodedSize(*probe, fitBox)
                                                                         : probe->stored;
    const qint64 pixels = pixelBytes(decoded, 4);
    qint64 working = qint64(workingBytesPerPixel(*probe) * double(pixelBytes(decoded, 1)));
    if (probe->format == formats::OtherFormat::Jxl)
        working = std::min<qint64>(working, kOtherDecoderMemoryBytes);
    return {decoded, read + 2 * pixels + working};
}

} // namespace

LoadFootprint EstimateLoadFootprint(const QString& file, QSize fitBox)
{
    QString reason;
    const FileHandle handle = OpenPictureFile(file, reason);
    struct stat st {};
    if (!handle.isOpen() || ::fstat(handle.fd(), &st) != 0)
        return {};
    const qint64 fileBytes = st.st_size;
    switch (SniffPicture(readAt(handle.fd(), 0, 16))) {
    case PictureKind::Jpeg: return jpegFootprint(handle.fd(), fileBytes, fitBox);
    case PictureKind::Bmp: return bmpFootprint(handle.fd(), fileBytes);
    case PictureKind::Gif: return gifFootprint(handle.fd(), fileBytes);
    case PictureKind::Wmf: return wmfFootprint(fileBytes, fitBox);
    case PictureKind::Unknown: return otherFootprint(handle.fd(), fileBytes, fitBox);
    }
    return {};
}

} // namespace ostrovel
