// Heif: the real loading path from a file (sniffing by content, the
// library's decode with our limits, orientation and colour), then the fitting
// into a canvas. Inputs in another format are skipped: they test another
// target.

#include "fuzz/FuzzSupport.h"
#include "picture/LoadPicture.h"
#include "picture/formats/FormatSniff.h"

#include <QByteArray>

#include <algorithm>

using namespace ostrovel;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(data),
                          qsizetype(std::min<std::size_t>(size, formats::kSniffBytes)));
    if (formats::SniffOtherFormat(head) != formats::OtherFormat::Heif)
        return 0;
    const QSize canvas = fuzz::CanvasSizeFor(size);
    const auto picture = LoadPicture(fuzz::WriteScratchFile(data, size, "heif"), canvas);
    fuzz::FitIntoCanvas(picture.get(), canvas);
    return 0;
}
