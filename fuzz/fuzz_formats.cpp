// PNG, WebP, TIFF, HEIF/AVIF and JPEG XL: the real loading path from a file
// (sniffing by content, the library's decode with our limits, orientation
// and colour), then the fitting into a canvas. One source for all five: the
// replay program takes any of them; a libFuzzer program is built per format
// (OSTROVEL_FUZZ_FORMAT) and skips the others, so that each fuzzer stays on
// its library.

#include "fuzz/FuzzSupport.h"
#include "picture/LoadPicture.h"
#include "picture/formats/FormatSniff.h"

#include <QByteArray>

#include <algorithm>

using namespace ostrovel;

namespace {

bool wanted(formats::OtherFormat format)
{
#ifdef OSTROVEL_FUZZ_FORMAT
    return format == formats::OtherFormat::OSTROVEL_FUZZ_FORMAT;
#else
    return format != formats::OtherFormat::None;
#endif
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(data),
                          qsizetype(std::min<std::size_t>(size, formats::kSniffBytes)));
    if (!wanted(formats::SniffOtherFormat(head)))
        return 0;
    const QSize canvas = fuzz::CanvasSizeFor(size);
    const auto picture = LoadPicture(fuzz::WriteScratchFile(data, size, "picture"), canvas);
    fuzz::FitIntoCanvas(picture.get(), canvas);
    return 0;
}
