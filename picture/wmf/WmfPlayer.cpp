#include "picture/wmf/WmfPlayer.h"

#include "picture/Limits.h"
#include "picture/wmf/WmfProtocol.h"
#include "picture/wmf/WmfDevice.h" // libwmf last: its macros break Qt's headers

#include <QSizeF>

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

namespace ostrovel::wmf {
namespace {

// One metafile in libwmf: checked, scanned, then possibly played.
class Session {
public:
    explicit Session(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session()
    {
        if (m_api)
            wmf_lite_destroy(m_api);
    }

    bool scan();
    bool play(WmfCanvas& canvas, QSize size);
    const Frame& frame() const { return m_device.frame; }

private:
    QByteArray m_bytes; // libwmf reads from it until the session ends
    wmfAPI* m_api = nullptr;
    DeviceData m_device;
};

bool Session::scan()
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(m_bytes.constData());
    const std::optional<WmfLayout> layout = inspectWmf(std::span(data, static_cast<std::size_t>(m_bytes.size())));
    if (!layout)
        return false;
    m_device.frame.placeable = layout->placeable;
    m_device.frame.setsWindowOrg = layout->setsWindowOrg;
    m_device.frame.setsWindowExt = layout->setsWindowExt;
    m_device.frame.deviceAspect = deviceAspect(*layout);

    wmfAPI_Options options{};
    options.function = installDevice;
    // Standard output carries our result: libwmf must print nothing at all.
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_DEBUG | WMF_OPT_NO_ERROR;
    if (wmf_lite_create(&m_api, flags, &options) != wmf_E_None || !m_api) {
        m_api = nullptr;
        return false;
    }
    if (!attachDevice(m_api, &m_device))
        return false;
    if (wmf_mem_open(m_api, reinterpret_cast<unsigned char*>(m_bytes.data()), static_cast<long>(m_bytes.size()))
        != wmf_E_None)
        return false;
    wmfD_Rect box{};
    if (wmf_scan(m_api, 0, &box) != wmf_E_None)
        return false;
    m_device.frame.scanBox = box;
    return true;
}

bool Session::play(WmfCanvas& canvas, QSize size)
{
    m_device.frame.imageSize = QSizeF(size);
    m_device.canvas = &canvas;
    wmfD_Rect box{};
    const bool played = wmf_play(m_api, 0, &box) == wmf_E_None;
    m_device.canvas = nullptr;
    return played;
}

// libwmf's device unit is the point, across; up, its (an)isotropic device
// space may be scaled differently. A side that rounds to nothing or
// overflows 32 bits is refused.
std::optional<WmfSize> drawnHimetric(const wmfD_Rect& box, double aspect)
{
    const double width = std::round((double(box.BR.x) - box.TL.x) * kHimetricPerInch / kWmfUnitsPerInch);
    const double height = std::round((double(box.BR.y) - box.TL.y) * aspect * kHimetricPerInch / kWmfUnitsPerInch);
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (!(width >= 1 && height >= 1 && width <= kMax && height <= kMax))
        return std::nullopt;
    return WmfSize{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

// wmf_size() would report the placeable header's sides as well; they are
// taken from the header directly to keep the exact integers.
std::optional<WmfSize> naturalSize(const Frame& frame)
{
    if (!frame.placeable)
        return drawnHimetric(frame.scanBox, frame.deviceAspect);
    const auto sides = placeableHimetric(*frame.placeable);
    if (!sides)
        return std::nullopt;
    return WmfSize{sides->first, sides->second};
}

} // namespace

std::optional<WmfSize> probeMetafile(QByteArray bytes)
{
    Session session(std::move(bytes));
    if (!session.scan())
        return std::nullopt;
    return naturalSize(session.frame());
}

QImage renderMetafile(QByteArray bytes, QSize size)
{
    if (!protocol::sizeAllowed(size.width(), size.height()))
        return {};
    Session session(std::move(bytes));
    // A metafile without a natural size has no frame to stretch either.
    if (!session.scan() || !naturalSize(session.frame()))
        return {};
    WmfCanvas canvas(size);
    if (!session.play(canvas, size))
        return {};
    return canvas.finish();
}

} // namespace ostrovel::wmf
