// WMF, in-process: the helper's own player (our byte checks, libwmf, our
// QPainter device layer) probes the metafile and draws it at the size the
// fitting asks for. Crashes show up here far faster than through the helper
// process, which runs the very same code.

#include "picture/Canvas.h"
#include "fuzz/FuzzSupport.h"
#include "picture/Picture.h"
#include "picture/wmf/WmfPlayer.h"
#include "picture/wmf/WmfProtocol.h"

#include <QByteArray>

using namespace ostrovel;

namespace {

// A metafile drawn by the player directly, where the program asks the helper.
class PlayedPicture : public Picture {
public:
    PlayedPicture(QByteArray bytes, wmf::WmfSize size)
        : Picture(size.widthHimetric, size.heightHimetric), m_bytes(std::move(bytes))
    {
    }
    QImage render(QSize size) const override
    {
        if (!wmf::protocol::sizeAllowed(size.width(), size.height()))
            return {}; // the client asks the helper for nothing larger
        QImage image = wmf::renderMetafile(m_bytes, size);
        if (!image.isNull() && (image.size() != size || image.format() != QImage::Format_ARGB32_Premultiplied))
            fuzz::Fail("rendering of the wrong size or format");
        return image;
    }

private:
    QByteArray m_bytes;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<wmf::WmfSize> natural = wmf::probeMetafile(bytes);
    if (!natural)
        return 0;
    if (natural->widthHimetric <= 0 || natural->heightHimetric <= 0)
        fuzz::Fail("probed size not positive");
    const PlayedPicture picture(bytes, *natural);
    fuzz::FitIntoCanvas(&picture, fuzz::CanvasSizeFor(size));
    return 0;
}
