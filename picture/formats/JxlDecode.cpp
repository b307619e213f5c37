// JPEG XL through libjxl: the first frame, upright (libjxl applies the
// orientation), with alpha; libjxl's own allocations are capped.

#include "picture/formats/Decoders.h"
#include "picture/LargeImage.h"
#include "picture/Limits.h"
#include "picture/jpegdec/ExifOrientation.h"

#include <jxl/decode.h>

#include <cstdlib>
#include <memory>

namespace ostrovel::formats {
namespace {

// Counts what one decoder allocates and refuses beyond the cap: a hostile
// file cannot make libjxl take the machine.
struct MemoryBudget {
    std::int64_t used = 0;
};

constexpr std::size_t kHeader = alignof(std::max_align_t);

void* budgetAlloc(void* opaque, std::size_t size)
{
    auto* budget = static_cast<MemoryBudget*>(opaque);
    if (std::int64_t(size) > kOtherDecoderMemoryBytes - budget->used)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block)
        return nullptr;
    *reinterpret_cast<std::size_t*>(block) = size;
    budget->used += std::int64_t(size);
    return block + kHeader;
}

void budgetFree(void* opaque, void* address)
{
    if (!address)
        return;
    auto* block = static_cast<unsigned char*>(address) - kHeader;
    static_cast<MemoryBudget*>(opaque)->used -= std::int64_t(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

struct JxlFree {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};

QByteArray iccOf(const JxlDecoder* decoder)
{
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS)
        return {};
    QByteArray icc(qsizetype(size), '\0');
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(icc.data()), size)
        != JXL_DEC_SUCCESS)
        return {};
    return icc;
}

// What the decoder hands over, event by event.
struct Progress {
    JxlBasicInfo info{};
    QByteArray icc;
    QImage image;
};

// Gives libjxl an image of the upright size to write into.
bool setOutput(JxlDecoder* decoder, Progress& progress, QString& reason)
{
    const JxlBasicInfo& info = progress.info;
    const QSize upright = jpegdec::uprightSize(QSize(int(info.xsize), int(info.ysize)), int(info.orientation));
    progress.image = MakeLargeImage(upright, info.alpha_bits ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (progress.image.isNull()) {
        reason = QStringLiteral("not enough memory");
        return false;
    }
    // Four channels even without alpha: rows without padding, as QImage has.
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::size_t size = 0;
    return JxlDecoderImageOutBufferSize(decoder, &format, &size) == JXL_DEC_SUCCESS
           && size == std::size_t(progress.image.sizeInBytes())
           && JxlDecoderSetImageOutBuffer(decoder, &format, progress.image.bits(), size) == JXL_DEC_SUCCESS;
}

// Runs the decoder up to the end of the first frame.
bool run(JxlDecoder* decoder, Progress& progress, QString& reason)
{
    for (;;) {
        switch (JxlDecoderProcessInput(decoder)) {
        case JXL_DEC_BASIC_INFO:
            if (JxlDecoderGetBasicInfo(decoder, &progress.info) != JXL_DEC_SUCCESS)
                return false;
            if (!DecodeAllowed(progress.info.xsize, progress.info.ysize)) {
                reason = QStringLiteral("too large");
                return false;
            }
            break;
        case JXL_DEC_COLOR_ENCODING:
            progress.icc = iccOf(decoder);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            if (!setOutput(decoder, progress, reason))
                return false;
            break;
        case JXL_DEC_FULL_IMAGE:
            return !progress.image.isNull();
        default: // an error, or input that ends early
            return false;
        }
    }
}

} // namespace

std::optional<Decoded> DecodeJxl(const QByteArray& bytes, QSize, QString& reason)
{
    reason = QStringLiteral("damaged data");
    MemoryBudget budget;
    const JxlMemoryManager memory{&budget, budgetAlloc, budgetFree};
    const std::unique_ptr<JxlDecoder, JxlFree> decoder(JxlDecoderCreate(&memory));
    if (!decoder
        || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE)
               != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                              std::size_t(bytes.size()))
               != JXL_DEC_SUCCESS)
        return std::nullopt;
    JxlDecoderCloseInput(decoder.get());
    Progress progress;
    if (!run(decoder.get(), progress, reason))
        return std::nullopt;
    ConvertToSrgb(progress.image, progress.icc);
    const QSize natural = progress.image.size();
    return Decoded{std::move(progress.image), natural};
}

} // namespace ostrovel::formats
