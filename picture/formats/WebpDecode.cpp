// WebP through libwebp: lossy and lossless, with alpha, scaled while
// decoding when the picture is drawn small; an animation shows its first
// frame as composed on its canvas.

#include "picture/formats/Decoders.h"
#include "picture/LargeImage.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

namespace ostrovel::formats {
namespace {

struct DemuxFree {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct AnimFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

QByteArray chunk(const WebPDemuxer* demux, const char* fourcc)
{
    WebPChunkIterator it;
    if (!WebPDemuxGetChunk(demux, fourcc, 1, &it))
        return {};
    QByteArray data(reinterpret_cast<const char*>(it.chunk.bytes), qsizetype(it.chunk.size));
    WebPDemuxReleaseChunkIterator(&it);
    return data;
}

QImage newImage(QSize size, bool alpha, QString& reason)
{
    QImage image = MakeLargeImage(size, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (image.isNull())
        reason = QStringLiteral("not enough memory");
    return image;
}

// A still picture, decoded at `size` (scaled by libwebp when smaller).
QImage decodeStill(const QByteArray& bytes, QSize size, QString& reason)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)
        || WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()), &config.input)
               != VP8_STATUS_OK)
        return {};
    QImage image = newImage(size, config.input.has_alpha, reason);
    if (image.isNull())
        return {};
    if (size != QSize(config.input.width, config.input.height)) {
        config.options.use_scaling = 1;
        config.options.scaled_width = size.width();
        config.options.scaled_height = size.height();
    }
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = std::size_t(image.sizeInBytes());
    const bool decoded = WebPDecode(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()), &config)
                         == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);
    return decoded ? image : QImage();
}

// The first frame of an animation as composed on its canvas.
QImage decodeFirstFrame(const QByteArray& bytes, QString& reason)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return {};
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
    const std::unique_ptr<WebPAnimDecoder, AnimFree> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)
        || !WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp))
        return {};
    QImage image = newImage(QSize(int(info.canvas_width), int(info.canvas_height)), true, reason);
    if (!image.isNull())
        std::memcpy(image.bits(), frame, std::size_t(image.sizeInBytes()));
    return image;
}

} // namespace

std::optional<Decoded> DecodeWebp(const QByteArray& bytes, QSize fitBox, QString& reason)
{
    reason = QStringLiteral("damaged data");
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
    const std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&data));
    if (!demux)
        return std::nullopt;
    const QSize stored(int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH)),
                       int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT)));
    if (!DecodeAllowed(stored.width(), stored.height())) {
        reason = QStringLiteral("too large");
        return std::nullopt;
    }
    const bool animated = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG;
    const int orientation = OrientationFromExif(chunk(demux.get(), "EXIF"));
    QImage image = animated ? decodeFirstFrame(bytes, reason)
                            : decodeStill(bytes, ReducedDecodeSize(stored, orientation, fitBox), reason);
    if (image.isNull())
        return std::nullopt;
    ConvertToSrgb(image, chunk(demux.get(), "ICCP"));
    image = jpegdec::turnUpright(std::move(image), orientation);
    return Decoded{std::move(image), jpegdec::uprightSize(stored, orientation)};
}

} // namespace ostrovel::formats
