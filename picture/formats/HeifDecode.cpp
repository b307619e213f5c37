// HEIC, HEIF and AVIF through libheif (libde265 for HEVC, dav1d or libaom
// for AV1): the primary image with its rotation, mirroring and cropping
// applied, or its embedded thumbnail when that is large enough for the box;
// 10 and 12 bits brought to 8, alpha, colour from an ICC profile or an nclx
// box (libheif applies the nclx matrix and range, we the primaries).
// Debian's libheif 1.15 refuses to mirror (imir) pictures of more than 8
// bits, leaves the alpha of a turned, mirrored or cropped picture as stored
// (or, turned by a quarter, not taken for alpha at all), and does not tell a
// caller a handle's transformations: such a primary image is decoded as
// stored and its clap, irot and imir, read from the file's boxes
// (HeifTransforms), applied here.

#include "picture/formats/Decoders.h"
#include "picture/formats/HeifTransforms.h"
#include "picture/Limits.h"

#include <libheif/heif.h>

#include <QColorSpace>
#include <QList>
#include <QPointF>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

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

// The nclx box's primaries and transfer curve as a colour space; invalid
// when they are sRGB's or unknown. The video curves (BT.709, BT.601,
// BT.2020) are taken as sRGB's, as screens show them; PQ and HLG too, for
// want of a tone mapping.
QColorSpace spaceOf(const heif_color_profile_nclx& nclx)
{
    auto transfer = QColorSpace::TransferFunction::SRgb;
    float gamma = 0;
    switch (nclx.transfer_characteristics) {
    case heif_transfer_characteristic_linear:
        transfer = QColorSpace::TransferFunction::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = 2.2f;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = 2.8f;
        break;
    default:
        break;
    }
    const bool srgbPrimaries = nclx.color_primaries == heif_color_primaries_ITU_R_BT_709_5
                               || nclx.color_primaries == heif_color_primaries_unspecified;
    if (srgbPrimaries)
        return transfer == QColorSpace::TransferFunction::SRgb ? QColorSpace()
                                                                : QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    return QColorSpace(QPointF(nclx.color_primary_white_x, nclx.color_primary_white_y),
                       QPointF(nclx.color_primary_red_x, nclx.color_primary_red_y),
                       QPointF(nclx.color_primary_green_x, nclx.color_primary_green_y),
                       QPointF(nclx.color_primary_blue_x, nclx.color_primary_blue_y), transfer, gamma);
}

// The colour space of the handle's pixels: its ICC profile, else its nclx
// box; invalid when it has neither.
QColorSpace colourSpaceOf(const heif_image_handle* handle)
{
    const QByteArray icc = iccOf(handle);
    if (!icc.isEmpty())
        return QColorSpace::fromIccProfile(icc);
    heif_color_profile_nclx* nclx = nullptr;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
    const QColorSpace space = error.code == heif_error_Ok && nclx ? spaceOf(*nclx) : QColorSpace();
    // Freed after a failure too: libheif 1.15 may have made it before it
    // found the box's values unsupported.
    heif_nclx_color_profile_free(nclx);
    return space;
}

QSize uprightOf(const heif_image_handle* handle)
{
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// The embedded thumbnail that serves `box` in place of `primary`; null
// when none does.
Heif<heif_image_handle> thumbnailFor(const heif_image_handle* primary, QSize box)
{
    const int count = std::min(heif_image_handle_get_number_of_thumbnails(primary), 16);
    if (count <= 0 || box.isEmpty())
        return nullptr;
    std::vector<heif_item_id> ids(std::size_t(count), 0);
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    std::vector<Heif<heif_image_handle>> handles;
    QList<QSize> sizes;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[std::size_t(i)], &thumbnail).code != heif_error_Ok)
            continue;
        handles.emplace_back(thumbnail);
        sizes.append(uprightOf(thumbnail));
    }
    const int pick = ServingThumbnail(sizes, uprightOf(primary), box);
    return pick < 0 ? nullptr : std::move(handles[std::size_t(pick)]);
}

// libheif's own words for what it does not support (Debian's 1.15 mirrors
// only 8-bit pictures, for one): not damaged data.
void explain(const heif_error& error, QString& reason)
{
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
        reason = QStringLiteral("not supported: %1").arg(QString::fromUtf8(error.message));
}

// `asStored`: without the file's clean aperture, rotation and mirroring.
Heif<heif_image> decodeImage(const heif_image_handle* handle, bool asStored, heif_error& error)
{
    const Heif<heif_decoding_options> options(heif_decoding_options_alloc());
    error = heif_error{heif_error_Memory_allocation_error, heif_suberror_Unspecified, ""};
    if (!options)
        return nullptr;
    options->convert_hdr_to_8bit = 1;
    options->ignore_transformations = asStored ? 1 : 0;
    heif_image* image = nullptr;
    error = heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get());
    Heif<heif_image> decoded(image);
    return error.code == heif_error_Ok ? std::move(decoded) : nullptr;
}

// The file of the primary image and the image's item id, as libheif read them.
struct PrimaryItem {
    const QByteArray& file;
    heif_item_id id;
};

// The transformations of `handle`, the primary image, to be done here on a
// decode that ignores them: libheif 1.15 refuses to mirror pictures of more
// than 8 bits, and turns, mirrors and crops the colour of a picture with
// alpha but not its alpha. Nothing where libheif does them right, or the
// file's boxes do not tell them plainly.
std::optional<QList<HeifTransform>> ownTransforms(const PrimaryItem& primary, const heif_image_handle* handle,
                                                  bool alpha)
{
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8
                      || heif_image_handle_get_chroma_bits_per_pixel(handle) > 8;
    if (!deep && !alpha)
        return std::nullopt;
    const std::optional<HeifPrimaryTransforms> own = ReadHeifPrimaryTransforms(primary.file);
    if (!own || own->itemId != primary.id || own->transforms.isEmpty())
        return std::nullopt;
    const bool mirrored = std::any_of(own->transforms.begin(), own->transforms.end(), [](const HeifTransform& t) {
        return t.kind == HeifTransform::Kind::Mirror;
    });
    return alpha || mirrored ? std::optional<QList<HeifTransform>>(own->transforms) : std::nullopt;
}

// The alpha of `handle` that libheif 1.15 did not take for one: a turned
// picture's alpha no longer matches the turned size, so 1.15 lists it as a
// plain auxiliary image. Null when there is none.
Heif<heif_image_handle> strayAlpha(const heif_image_handle* handle)
{
    const int count = heif_image_handle_get_number_of_auxiliary_images(handle, 0);
    std::vector<heif_item_id> ids(std::size_t(std::max(count, 0)));
    heif_image_handle_get_list_of_auxiliary_image_IDs(handle, 0, ids.data(), count);
    for (const heif_item_id id : ids) {
        heif_image_handle* aux = nullptr;
        if (heif_image_handle_get_auxiliary_image_handle(handle, id, &aux).code != heif_error_Ok)
            continue;
        Heif<heif_image_handle> owned(aux);
        const char* type = nullptr;
        if (heif_image_handle_get_auxiliary_type(aux, &type).code != heif_error_Ok)
            continue;
        const bool isAlpha = type && (std::strcmp(type, "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha") == 0
                                      || std::strcmp(type, "urn:mpeg:hevc:2015:auxid:1") == 0);
        heif_image_handle_free_auxiliary_types(aux, &type);
        if (isAlpha)
            return owned;
    }
    return nullptr;
}

// The stray alpha `aux`, decoded as stored, put into `image` (decoded as
// stored too, RGBX), which becomes RGBA; false when they differ in size.
bool takeAlpha(QImage& image, const heif_image_handle* aux)
{
    const Heif<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        return false;
    options->convert_hdr_to_8bit = 1;
    options->ignore_transformations = 1;
    heif_image* decoded = nullptr;
    const heif_error error =
        heif_decode_image(aux, &decoded, heif_colorspace_monochrome, heif_chroma_monochrome, options.get());
    const Heif<heif_image> alpha(decoded);
    if (error.code != heif_error_Ok || heif_image_get_width(alpha.get(), heif_channel_Y) != image.width()
        || heif_image_get_height(alpha.get(), heif_channel_Y) != image.height())
        return false;
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(alpha.get(), heif_channel_Y, &stride);
    if (!plane || !image.reinterpretAsFormat(QImage::Format_RGBA8888))
        return false;
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* from = plane + std::ptrdiff_t(y) * stride;
        uchar* to = image.scanLine(y) + 3;
        for (int x = 0; x < image.width(); ++x, to += 4)
            *to = from[x];
    }
    return true;
}

// The decoded picture as a QImage over libheif's own pixels, which it then
// owns: a 12-megapixel photo is not copied again. Four bytes a pixel even
// without alpha, the fourth then ignored (RGBX), as the resampler reads them.
QImage toQImage(Heif<heif_image> image, bool premultiplied, bool alpha)
{
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    uint8_t* const plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!plane || !DecodeAllowed(width, height))
        return {};
    const QImage::Format format = !alpha ? QImage::Format_RGBX8888
                                  : premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                  : QImage::Format_RGBA8888;
    const auto release = [](void* owner) { heif_image_release(static_cast<heif_image*>(owner)); };
    QImage wrapped(plane, width, height, stride, format, release, image.get());
    if (!wrapped.isNull())
        (void)image.release();
    return wrapped;
}

// The image of `handle` decoded, in sRGB (its colour space, else
// `fallback`'s); null on failure. `primary`, given when `handle` is the
// primary image, lets the transformations libheif gets wrong be done here,
// alpha alike.
QImage decodeHandle(const heif_image_handle* handle, const heif_image_handle* fallback, const PrimaryItem* primary,
                    QString& reason)
{
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    const Heif<heif_image_handle> stray = primary && !alpha ? strayAlpha(handle) : nullptr;
    const auto transforms = primary ? ownTransforms(*primary, handle, alpha || stray) : std::nullopt;
    heif_error error{};
    Heif<heif_image> decoded = decodeImage(handle, transforms.has_value(), error);
    explain(error, reason);
    if (!decoded)
        return {};
    QImage image = toQImage(std::move(decoded), heif_image_handle_is_premultiplied_alpha(handle), alpha);
    // Only with the transformations done here does the stray alpha line up.
    if (stray && transforms && !image.isNull() && !takeAlpha(image, stray.get()))
        image = QImage();
    if (transforms && !image.isNull())
        image = ApplyHeifTransforms(std::move(image), *transforms);
    const QColorSpace space = colourSpaceOf(handle);
    ConvertToSrgb(image, space.isValid() ? space : colourSpaceOf(fallback));
    return image;
}

} // namespace

bool HeifReady()
{
    // Once for the process, before any decoder runs: libheif's own lazy
    // set-up of its decoders is not safe from several threads at once.
    static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    return initialised;
}

std::optional<Decoded> DecodeHeif(const QByteArray& bytes, QSize fitBox, QString& reason)
{
    reason = QStringLiteral("damaged data");
    if (!HeifReady())
        return std::nullopt;
    const Heif<heif_context> ctx(heif_context_alloc());
    if (!ctx)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxOtherSide);
    heif_image_handle* primary = nullptr;
    heif_item_id primaryId = 0;
    heif_error error =
        heif_context_read_from_memory_without_copy(ctx.get(), bytes.constData(), std::size_t(bytes.size()), nullptr);
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_ID(ctx.get(), &primaryId);
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_handle(ctx.get(), &primary);
    if (error.code != heif_error_Ok) {
        explain(error, reason);
        return std::nullopt;
    }
    const Heif<heif_image_handle> handle(primary);
    // The size after the file's transformations: the upright size.
    const QSize natural = uprightOf(handle.get());
    if (!DecodeAllowed(natural.width(), natural.height())) {
        reason = QStringLiteral("too large");
        return std::nullopt;
    }
    // No second try with the primary image when the thumbnail fails: the
    // load's memory is planned for the thumbnail (LoadFootprint). A
    // thumbnail has its own transformations; only the primary image's are
    // done here when libheif refuses them.
    const Heif<heif_image_handle> thumbnail = thumbnailFor(handle.get(), fitBox);
    const PrimaryItem item{bytes, primaryId};
    QImage image = thumbnail ? decodeHandle(thumbnail.get(), handle.get(), nullptr, reason)
                             : decodeHandle(handle.get(), handle.get(), &item, reason);
    if (image.isNull())
        return std::nullopt;
    return Decoded{std::move(image), natural};
}

} // namespace ostrovel::formats
