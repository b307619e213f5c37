// JPEG: our libjpeg decoder on the bytes in memory, at a DCT scale chosen by
// the input's last byte, then the fitting into a canvas, as a rendering
// draws a loaded photo. The last byte also picks the canvas size; bytes
// after the end of the image are ignored by the decoder, so the fuzzer can
// vary it freely. Every input is decoded twice, with our Huffman decoder
// and with libjpeg's alone: the verdicts and pixels must be the same.

#include "fuzz/FuzzSupport.h"
#include "picture/jpegdec/JpegDecoder.h"
#include "picture/jpegdec/JpegExtent.h"
#include "picture/Picture.h"

#include <QByteArray>
#include <QColorSpace>

using namespace ostrovel;

namespace {

// What the decoder promises of every picture it returns.
void checkDecoded(const DecodedJpeg& decoded, int denominator)
{
    const QImage& image = decoded.image;
    if (image.isNull() || image.format() != QImage::Format_RGB32 || image.colorSpace().isValid())
        fuzz::Fail("decoded picture of the wrong form");
    // libjpeg rounds each side of the scaled picture up.
    const auto scaled = [denominator](int side) { return (side + denominator - 1) / denominator; };
    if (image.size() != QSize(scaled(decoded.natural.width()), scaled(decoded.natural.height())))
        fuzz::Fail("decoded picture not of its scaled natural size");
    if (qint64(image.sizeInBytes()) > 1024LL * 1024 * 1024)
        fuzz::Fail("decoded picture beyond 1 GB");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned last = data[size - 1];
    const int denominator = 1 << (last & 3);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto chooser = [denominator](QSize) { return denominator; };
    std::optional<DecodedJpeg> decoded = DecodeJpeg(bytes, {.chooseDenominator = chooser});
    const std::optional<DecodedJpeg> plain = DecodeJpeg(bytes, {.chooseDenominator = chooser, .ownEntropyDecoder = false});
    if (decoded.has_value() != plain.has_value())
        fuzz::Fail("our Huffman decoder and libjpeg disagree on whether the file decodes");
    if (!decoded)
        return 0;
    if (decoded->image != plain->image)
        fuzz::Fail("our Huffman decoder and libjpeg decode different pixels");
    checkDecoded(*decoded, denominator);
    const RasterPicture picture(decoded->natural, std::move(decoded->image));
    fuzz::FitIntoCanvas(&picture, fuzz::CanvasSizeFor(last >> 2));
    return 0;
}
