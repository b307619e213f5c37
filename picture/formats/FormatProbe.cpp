#include "picture/formats/FormatProbe.h"
#include "picture/Limits.h"
#include "picture/formats/Decoders.h"

#include <QByteArray>
#include <QtEndian>

#include <jxl/decode.h>
#include <libheif/heif.h>
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrovel::formats {
namespace {

// Up to `length` bytes of `fd` at `offset`; fewer at the end or on an error.
qint64 readInto(int fd, qint64 offset, void* into, qint64 length)
{
    ssize_t got;
    do
        got = ::pread(fd, into, std::size_t(std::max<qint64>(length, 0)), off_t(offset));
    while (got < 0 && errno == EINTR);
    return got < 0 ? 0 : qint64(got);
}

QByteArray readAt(int fd, qint64 offset, qsizetype length)
{
    QByteArray bytes(length, '\0');
    bytes.truncate(qsizetype(readInto(fd, offset, bytes.data(), length)));
    return bytes;
}

qint64 fileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : 0;
}

int byteAt(const QByteArray& b, qsizetype at)
{
    return static_cast<unsigned char>(b.at(at));
}

// The IHDR chunk always comes first, at a fixed place.
std::optional<Probe> probePng(int fd)
{
    const QByteArray head = readAt(fd, 0, 29);
    if (head.size() < 29 || head.mid(12, 4) != "IHDR")
        return std::nullopt;
    const quint32 width = qFromBigEndian<quint32>(head.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(head.constData() + 20);
    const int colourType = byteAt(head, 25);
    return Probe{OtherFormat::Png, QSize(int(std::min<quint32>(width, INT_MAX)), int(std::min<quint32>(height, INT_MAX))),
                 byteAt(head, 24), colourType == 4 || colourType == 6, false};
}

// The first chunk: a lossy or lossless bitstream, or the extended header.
std::optional<Probe> probeWebp(int fd)
{
    const QByteArray head = readAt(fd, 0, 30);
    if (head.size() < 30)
        return std::nullopt;
    const QByteArray chunk = head.mid(12, 4);
    const char* data = head.constData() + 20;
    Probe probe{OtherFormat::Webp, {}, 8, false, false};
    if (chunk == "VP8 " && head.mid(23, 3) == QByteArray("\x9d\x01\x2a", 3)) {
        probe.stored = QSize(qFromLittleEndian<quint16>(data + 6) & 0x3fff, qFromLittleEndian<quint16>(data + 8) & 0x3fff);
    } else if (chunk == "VP8L" && byteAt(head, 20) == 0x2f) {
        const quint32 bits = qFromLittleEndian<quint32>(data + 1);
        probe.stored = QSize(int(bits & 0x3fff) + 1, int((bits >> 14) & 0x3fff) + 1);
        probe.alpha = (bits >> 28) & 1;
    } else if (chunk == "VP8X") {
        const auto u24 = [&](int at) { return byteAt(head, at) | byteAt(head, at + 1) << 8 | byteAt(head, at + 2) << 16; };
        probe.stored = QSize(u24(24) + 1, u24(27) + 1);
        probe.alpha = byteAt(head, 20) & 0x10;
        probe.animated = byteAt(head, 20) & 0x02;
    } else {
        return std::nullopt;
    }
    return probe;
}

// libtiff reads the first directory through the file descriptor.
struct FdFile {
    int fd;
    toff_t offset = 0;
};

tmsize_t fdRead(thandle_t handle, void* into, tmsize_t size)
{
    auto* file = static_cast<FdFile*>(handle);
    const qint64 got = readInto(file->fd, qint64(file->offset), into, qint64(size));
    file->offset += toff_t(got);
    return tmsize_t(got);
}

tmsize_t fdWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t fdSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<FdFile*>(handle);
    const toff_t base = whence == SEEK_CUR ? file->offset : whence == SEEK_END ? toff_t(fileSize(file->fd)) : 0;
    file->offset = base + offset;
    return file->offset;
}

int fdClose(thandle_t)
{
    return 0;
}

toff_t fdSize(thandle_t handle)
{
    return toff_t(fileSize(static_cast<FdFile*>(handle)->fd));
}

int noMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void noUnmap(thandle_t, void*, toff_t) {}

int quiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

std::optional<Probe> probeTiff(int fd)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return std::nullopt;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kOtherDecoderMemoryBytes));
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    FdFile file{fd};
    TIFF* tiff = TIFFClientOpenExt("picture", "rm", &file, fdRead, fdWrite, fdSeek, fdClose, fdSize, noMap, noUnmap,
                                   options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        return std::nullopt;
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, samples = 1, extra = 0;
    uint16_t* extraTypes = nullptr;
    const bool sized = TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) && TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
    TIFFClose(tiff);
    if (!sized)
        return std::nullopt;
    return Probe{OtherFormat::Tiff, QSize(int(std::min<uint32_t>(width, INT_MAX)), int(std::min<uint32_t>(height, INT_MAX))),
                 bits, extra > 0, false};
}

// libheif reads the boxes that describe the pictures, not their coded data.
int64_t heifPosition(void* data)
{
    return static_cast<FdFile*>(data)->offset;
}

int heifRead(void* into, size_t size, void* data)
{
    auto* file = static_cast<FdFile*>(data);
    const qint64 got = readInto(file->fd, qint64(file->offset), into, qint64(size));
    file->offset += toff_t(got);
    return got == qint64(size) ? 0 : -1;
}

int heifSeek(int64_t position, void* data)
{
    static_cast<FdFile*>(data)->offset = toff_t(position);
    return 0;
}

heif_reader_grow_status heifWaitForSize(int64_t size, void* data)
{
    return size <= fileSize(static_cast<FdFile*>(data)->fd) ? heif_reader_grow_status_size_reached
                                                            : heif_reader_grow_status_size_beyond_eof;
}

// The upright sizes of the primary image's thumbnails, as the decoder
// lists them.
QList<QSize> heifThumbnails(const heif_image_handle* primary)
{
    const int count = std::min(heif_image_handle_get_number_of_thumbnails(primary), 16);
    if (count <= 0)
        return {};
    std::vector<heif_item_id> ids(std::size_t(count), 0);
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    QList<QSize> sizes;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[std::size_t(i)], &thumbnail).code != heif_error_Ok)
            continue;
        sizes.append(QSize(heif_image_handle_get_width(thumbnail), heif_image_handle_get_height(thumbnail)));
        heif_image_handle_release(thumbnail);
    }
    return sizes;
}

std::optional<Probe> probeHeif(int fd)
{
    if (!HeifReady())
        return std::nullopt;
    std::unique_ptr<heif_context, void (*)(heif_context*)> ctx(heif_context_alloc(), heif_context_free);
    if (!ctx)
        return std::nullopt;
    heif_reader reader{};
    reader.reader_api_version = 1;
    reader.get_position = heifPosition;
    reader.read = heifRead;
    reader.seek = heifSeek;
    reader.wait_for_file_size = heifWaitForSize;
    FdFile file{fd};
    heif_image_handle* primary = nullptr;
    if (heif_context_read_from_reader(ctx.get(), &reader, &file, nullptr).code != heif_error_Ok
        || heif_context_get_primary_image_handle(ctx.get(), &primary).code != heif_error_Ok)
        return std::nullopt;
    Probe probe{OtherFormat::Heif,
                QSize(heif_image_handle_get_ispe_width(primary), heif_image_handle_get_ispe_height(primary)),
                std::max(8, heif_image_handle_get_luma_bits_per_pixel(primary)),
                heif_image_handle_has_alpha_channel(primary) != 0, false};
    probe.upright = QSize(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary));
    probe.thumbnails = heifThumbnails(primary);
    heif_image_handle_release(primary);
    return probe;
}

// libjxl stops at the basic information; the header is near the start, a
// box-wrapped file may need a little more.
std::optional<Probe> probeJxl(int fd)
{
    std::unique_ptr<JxlDecoder, void (*)(JxlDecoder*)> decoder(JxlDecoderCreate(nullptr), JxlDecoderDestroy);
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS)
        return std::nullopt;
    QByteArray bytes;
    for (qsizetype want = 4096; want <= (1 << 20); want *= 4) {
        bytes = readAt(fd, 0, want);
        JxlDecoderRewind(decoder.get());
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO);
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        if (bytes.size() < want)
            JxlDecoderCloseInput(decoder.get()); // the whole file: a header cut short is refused
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info{};
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return std::nullopt;
            return Probe{OtherFormat::Jxl,
                         QSize(int(std::min<uint32_t>(info.xsize, INT_MAX)), int(std::min<uint32_t>(info.ysize, INT_MAX))),
                         int(info.bits_per_sample), info.alpha_bits > 0, info.have_animation != 0};
        }
        if (status != JXL_DEC_NEED_MORE_INPUT || bytes.size() < want)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<Probe> ProbeOtherFormat(int fd)
{
    switch (SniffOtherFormat(readAt(fd, 0, kSniffBytes))) {
    case OtherFormat::Png: return probePng(fd);
    case OtherFormat::Webp: return probeWebp(fd);
    case OtherFormat::Tiff: return probeTiff(fd);
    case OtherFormat::Heif: return probeHeif(fd);
    case OtherFormat::Jxl: return probeJxl(fd);
    case OtherFormat::None: break;
    }
    return std::nullopt;
}

} // namespace ostrovel::formats
