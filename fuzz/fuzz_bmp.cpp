// BMP: the real loading path from a file (content sniffing, our header
// check, Qt's BMP reader with its allocation limit), then the fitting into
// a canvas. Inputs that are no BMP are skipped: they test another format.

#include "fuzz/FuzzSupport.h"
#include "picture/LoadPicture.h"

#include <cstring>

using namespace ostrovel;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || std::memcmp(data, "BM", 2) != 0)
        return 0;
    const QSize canvas = fuzz::CanvasSizeFor(size);
    const auto picture = LoadPicture(fuzz::WriteScratchFile(data, size, "bmp"), canvas);
    fuzz::FitIntoCanvas(picture.get(), canvas);
    return 0;
}
