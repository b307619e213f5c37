// GIF: the real loading path from a file (content sniffing, Qt's GIF reader
// with its allocation limit, the first frame), then the fitting into a
// canvas, which composites transparency. Inputs that are no GIF are skipped.

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
    if (size < 6 || (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0))
        return 0;
    const QSize canvas = fuzz::CanvasSizeFor(size);
    const auto picture = LoadPicture(fuzz::WriteScratchFile(data, size, "gif"), canvas);
    fuzz::FitIntoCanvas(picture.get(), canvas);
    return 0;
}
