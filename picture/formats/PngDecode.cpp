// PNG through libspng: 8 and 16 bits, palette, grey, transparency; an APNG
// shows its default image, its first frame.

#include "picture/formats/Decoders.h"
#include "picture/LargeImage.h"
#include "picture/Limits.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <spng.h>

#include <memory>

namespace ostrovel::formats {
namespace {

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Spng = std::unique_ptr<spng_ctx, SpngFree>;

// Text and profile chunks beyond this are refused: real ones are far
// smaller, and libspng keeps them.
constexpr std::size_t kMaxChunkBytes = std::size_t(64) << 20;

bool hasTransparency(spng_ctx* ctx, const spng_ihdr& ihdr)
{
    if (ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA || ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA)
        return true;
    spng_trns trns;
    return spng_get_trns(ctx, &trns) == 0;
}

QByteArray iccOf(spng_ctx* ctx)
{
    spng_iccp iccp;
    if (spng_get_iccp(ctx, &iccp) != 0 || !iccp.profile)
        return {};
    return QByteArray(iccp.profile, qsizetype(iccp.profile_len));
}

int orientationOf(spng_ctx* ctx)
{
    spng_exif exif;
    if (spng_get_exif(ctx, &exif) != 0 || !exif.data)
        return 1;
    return OrientationFromExif(QByteArray(exif.data, qsizetype(exif.length)));
}

} // namespace

std::optional<Decoded> DecodePng(const QByteArray& bytes, QSize, QString& reason)
{
    reason = QStringLiteral("damaged data");
    const Spng ctx(spng_ctx_new(0));
    if (!ctx)
        return std::nullopt;
    spng_set_image_limits(ctx.get(), kMaxOtherSide, kMaxOtherSide);
    spng_set_chunk_limits(ctx.get(), kMaxChunkBytes, kOtherDecoderMemoryBytes);
    spng_ihdr ihdr;
    if (spng_set_png_buffer(ctx.get(), bytes.constData(), std::size_t(bytes.size())) != 0
        || spng_get_ihdr(ctx.get(), &ihdr) != 0)
        return std::nullopt;
    if (!DecodeAllowed(ihdr.width, ihdr.height)) {
        reason = QStringLiteral("too large");
        return std::nullopt;
    }
    // Always four bytes a pixel: QImage rows of that width need no padding,
    // so libspng writes straight into the image.
    const bool alpha = hasTransparency(ctx.get(), ihdr);
    QImage image = MakeLargeImage(QSize(int(ihdr.width), int(ihdr.height)),
                                  alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (image.isNull()) {
        reason = QStringLiteral("not enough memory");
        return std::nullopt;
    }
    std::size_t size = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0 || size != std::size_t(image.sizeInBytes())
        || spng_decode_image(ctx.get(), image.bits(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
        return std::nullopt;
    ConvertToSrgb(image, iccOf(ctx.get()));
    image = jpegdec::turnUpright(std::move(image), orientationOf(ctx.get()));
    const QSize natural = image.size();
    return Decoded{std::move(image), natural};
}

} // namespace ostrovel::formats
