// HEIC, HEIF and AVIF through libheif (libde265 for HEVC, dav1d or libaom
// for AV1): the primary image with its rotation, mirroring and cropping
// applied, 10 and 12 bits brought to 8, alpha.

#include "picture/formats/Decoders.h"
#include "picture/Limits.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace ostrovel::formats {
namespace {

struct HeifFree {
    void operator()(heif_context* ctx) const { heif_context_free(ctx); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
template <typename T>
using Heif = std::unique_ptr<T, HeifFree>;

QByteArray iccOf(const heif_image_handle* handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {};
    QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)), '\0');
    if (icc.isEmpty() || heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return icc;
}

// libheif's own words for what it does not support (Debian's 1.15 mirrors
// only 8-bit pictures, for one): not damaged data.
void explain(const heif_error& error, QString& reason)
{
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
        reason = QStringLiteral("not supported: %1").arg(QString::fromUtf8(error.message));
}

Heif<heif_image> decodeImage(heif_image_handle* handle, bool alpha, QString& reason)
{
    const Heif<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        return nullptr;
    options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    const heif_error error = heif_decode_image(handle, &image, heif_colorspace_RGB,
                                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                               options.get());
    Heif<heif_image> decoded(image);
    explain(error, reason);
    return error.code == heif_error_Ok ? std::move(decoded) : nullptr;
}

// The decoded planes copied into a QImage of the same form.
QImage toQImage(const heif_image* image, bool premultiplied, bool alpha, QString& reason)
{
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!plane || !DecodeAllowed(width, height))
        return {};
    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                  : premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                  : QImage::Format_RGBA8888;
    QImage out(width, height, format);
    if (out.isNull()) {
        reason = QStringLiteral("not enough memory");
        return {};
    }
    const std::size_t rowBytes = std::size_t(width) * (alpha ? 4 : 3);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), plane + std::ptrdiff_t(y) * stride, rowBytes);
    return out;
}

} // namespace

bool HeifReady()
{
    // Once for the process, before any decoder runs: libheif's own lazy
    // set-up of its decoders is not safe from several threads at once.
    static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    return initialised;
}

std::optional<Decoded> DecodeHeif(const QByteArray& bytes, QSize, QString& reason)
{
    reason = QStringLiteral("damaged data");
    if (!HeifReady())
        return std::nullopt;
    const Heif<heif_context> ctx(heif_context_alloc());
    if (!ctx)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxOtherSide);
    heif_image_handle* primary = nullptr;
    heif_error error =
        heif_context_read_from_memory_without_copy(ctx.get(), bytes.constData(), std::size_t(bytes.size()), nullptr);
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_handle(ctx.get(), &primary);
    if (error.code != heif_error_Ok) {
        explain(error, reason);
        return std::nullopt;
    }
    const Heif<heif_image_handle> handle(primary);
    // The size after the file's transformations: the upright size.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (!DecodeAllowed(width, height)) {
        reason = QStringLiteral("too large");
        return std::nullopt;
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const Heif<heif_image> decoded = decodeImage(handle.get(), alpha, reason);
    if (!decoded)
        return std::nullopt;
    QImage image = toQImage(decoded.get(), heif_image_handle_is_premultiplied_alpha(handle.get()), alpha, reason);
    if (image.isNull())
        return std::nullopt;
    ConvertToSrgb(image, iccOf(handle.get()));
    const QSize natural = image.size();
    return Decoded{std::move(image), natural};
}

} // namespace ostrovel::formats
