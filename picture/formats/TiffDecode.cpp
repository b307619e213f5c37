// TIFF through libtiff's RGBA interface: 8 and 16 bits, palette, grey,
// CMYK, strips and tiles, alpha; a multi-page file shows its first page.
// libtiff reads from our memory copy of the file, and reports its errors to
// us instead of standard error.

#include "picture/formats/Decoders.h"
#include "picture/formats/TiffCmyk.h"
#include "picture/LargeImage.h"
#include "picture/Limits.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace ostrovel::formats {
namespace {

struct MemoryFile {
    const QByteArray* bytes;
    toff_t offset = 0;
};

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "libtiff's RGBA values are read as RGBA8888 bytes");

tmsize_t readProc(thandle_t handle, void* into, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const toff_t total = toff_t(file->bytes->size());
    const toff_t from = std::min(file->offset, total);
    const tmsize_t count = tmsize_t(std::min<toff_t>(toff_t(std::max<tmsize_t>(size, 0)), total - from));
    std::memcpy(into, file->bytes->constData() + from, std::size_t(count));
    file->offset = from + toff_t(count);
    return count;
}

tmsize_t writeProc(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const toff_t base = whence == SEEK_CUR ? file->offset : whence == SEEK_END ? toff_t(file->bytes->size()) : 0;
    file->offset = base + offset;
    return file->offset;
}

int closeProc(thandle_t)
{
    return 0;
}

toff_t sizeProc(thandle_t handle)
{
    return toff_t(static_cast<MemoryFile*>(handle)->bytes->size());
}

int mapProc(thandle_t handle, void** base, toff_t* size)
{
    const QByteArray* bytes = static_cast<MemoryFile*>(handle)->bytes;
    *base = const_cast<char*>(bytes->constData()); // read-only: opened for reading
    *size = toff_t(bytes->size());
    return 1;
}

void unmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages are not ours to print: the reason is enough.
int quiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct TiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffClose>;

Tiff openTiff(MemoryFile& file)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kOtherDecoderMemoryBytes));
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    Tiff tiff(TIFFClientOpenExt("picture", "r", &file, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
                                unmapProc, options));
    TIFFOpenOptionsFree(options);
    return tiff;
}

// The profile, unless the pixels it describes are CMYK: libtiff hands
// those over already turned into RGB.
QByteArray iccOf(TIFF* tiff)
{
    uint16_t photometric = 0;
    uint32_t count = 0;
    void* data = nullptr;
    if ((TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) && photometric == PHOTOMETRIC_SEPARATED)
        || !TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &count, &data) || !data)
        return {};
    return QByteArray(static_cast<const char*>(data), qsizetype(count));
}

// The page's pixels as stored, top row first; `orientation` gets the
// file's orientation, which libtiff itself would only half apply.
QImage readPixels(TIFF* tiff, int& orientation, QString& reason)
{
    char message[1024] = {};
    TIFFRGBAImage reader;
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&reader, tiff, 0, message))
        return {};
    orientation = reader.orientation;
    reader.orientation = ORIENTATION_TOPLEFT;
    reader.req_orientation = ORIENTATION_TOPLEFT;
    QImage image;
    if (!DecodeAllowed(reader.width, reader.height)) {
        reason = QStringLiteral("too large");
    } else {
        // libtiff's RGBA values premultiply any alpha.
        image = MakeLargeImage(QSize(int(reader.width), int(reader.height)),
                               reader.alpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
        if (image.isNull())
            reason = QStringLiteral("not enough memory");
        else if (!TIFFRGBAImageGet(&reader, reinterpret_cast<uint32_t*>(image.bits()), reader.width, reader.height))
            image = QImage();
    }
    TIFFRGBAImageEnd(&reader);
    return image;
}

} // namespace

std::optional<Decoded> DecodeTiff(const QByteArray& bytes, QSize, QString& reason)
{
    reason = QStringLiteral("damaged data");
    MemoryFile file{&bytes};
    const Tiff tiff = openTiff(file);
    if (!tiff)
        return std::nullopt;
    uint16_t orientation16 = ORIENTATION_TOPLEFT;
    int orientation = 1;
    QImage image;
    if (IsCmyk16(tiff.get())) {
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation16);
        orientation = orientation16;
        image = ReadCmyk16(tiff.get(), reason);
    } else {
        image = readPixels(tiff.get(), orientation, reason);
    }
    if (image.isNull())
        return std::nullopt;
    ConvertToSrgb(image, iccOf(tiff.get()));
    image = jpegdec::turnUpright(std::move(image), orientation);
    const QSize natural = image.size();
    return Decoded{std::move(image), natural};
}

} // namespace ostrovel::formats
