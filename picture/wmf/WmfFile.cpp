#include "picture/wmf/WmfFile.h"

#include "picture/Limits.h"

#include <cmath>
#include <cstdlib>

namespace ostrovel::wmf {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::size_t kPlaceableBytes = 22;
constexpr std::size_t kMetaHeaderBytes = 18;
constexpr std::size_t kRecordHeaderBytes = 6;

constexpr std::uint16_t kSetMapMode = 0x0103;
constexpr std::uint16_t kSetViewportExt = 0x020E;
constexpr std::uint16_t kSetWindowOrg = 0x020B;
constexpr std::uint16_t kSetWindowExt = 0x020C;
constexpr std::uint16_t kOffsetWindowOrg = 0x020F;
constexpr std::uint16_t kScaleWindowExt = 0x0410;

std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at)
{
    return u16(b, at) | (std::uint32_t(u16(b, at + 2)) << 16);
}

PlaceableBox readPlaceable(std::span<const std::uint8_t> b)
{
    PlaceableBox box;
    box.left = static_cast<std::int16_t>(u16(b, 6));
    box.top = static_cast<std::int16_t>(u16(b, 8));
    box.right = static_cast<std::int16_t>(u16(b, 10));
    box.bottom = static_cast<std::int16_t>(u16(b, 12));
    box.unitsPerInch = u16(b, 14);
    return box;
}

// Notes what a record of `words` 16-bit words at `pos` sets of the mapping.
void noteMapping(std::span<const std::uint8_t> b, std::size_t pos, std::uint64_t words, WmfLayout& layout)
{
    const std::uint16_t function = u16(b, pos + 4);
    const auto param = [&](int i) { return static_cast<std::int16_t>(u16(b, pos + 6 + 2 * std::size_t(i))); };
    if (function == kSetWindowOrg || function == kOffsetWindowOrg)
        layout.setsWindowOrg = true;
    if (function == kSetWindowExt || function == kScaleWindowExt)
        layout.setsWindowExt = true;
    if (function == kSetMapMode && words >= 4)
        layout.mapMode = static_cast<std::uint16_t>(param(0));
    // Extents are stored y first.
    if (function == kSetWindowExt && words >= 5)
        layout.windowExt = Extent{param(1), param(0)};
    if (function == kSetViewportExt && words >= 5)
        layout.viewportExt = Extent{param(1), param(0)};
}

// Walks the records from `pos` to the end record; false when one is shorter
// than its header, longer than the largest-record claim or the file.
bool walkRecords(std::span<const std::uint8_t> b, std::size_t pos, std::uint64_t maxRecordWords, WmfLayout& layout)
{
    while (b.size() - pos >= kRecordHeaderBytes) {
        const std::uint64_t words = u32(b, pos);
        const std::uint16_t function = u16(b, pos + 4);
        if (words == 3 && function == 0)
            return true;
        if (words < 3 || words - 3 > maxRecordWords || words * 2 > b.size() - pos)
            return false;
        noteMapping(b, pos, words, layout);
        pos += static_cast<std::size_t>(words * 2);
    }
    return false;
}

std::int32_t toHimetric(std::int32_t units, std::uint16_t unitsPerInch)
{
    constexpr auto kPerInch = static_cast<std::int64_t>(kHimetricPerInch);
    const std::int64_t a = std::abs(std::int64_t(units));
    return static_cast<std::int32_t>((a * kPerInch * 2 + unitsPerInch) / (2 * std::int64_t(unitsPerInch)));
}

} // namespace

std::optional<WmfLayout> inspectWmf(std::span<const std::uint8_t> bytes)
{
    WmfLayout layout;
    std::size_t pos = 0;
    if (bytes.size() >= kPlaceableBytes && u32(bytes, 0) == kPlaceableKey) {
        layout.placeable = readPlaceable(bytes);
        pos = kPlaceableBytes;
    }
    if (bytes.size() - pos < kMetaHeaderBytes)
        return std::nullopt;
    const std::uint16_t fileType = u16(bytes, pos);
    const std::uint16_t headerWords = u16(bytes, pos + 2);
    if ((fileType != 1 && fileType != 2) || headerWords != 9)
        return std::nullopt;
    // The player allocates the largest record up front: it must fit the file.
    const std::uint64_t maxRecordWords = u32(bytes, pos + 12);
    pos += kMetaHeaderBytes;
    if (maxRecordWords * 2 > bytes.size() - pos)
        return std::nullopt;
    if (!walkRecords(bytes, pos, maxRecordWords, layout))
        return std::nullopt;
    return layout;
}

double deviceAspect(const WmfLayout& layout)
{
    constexpr std::uint16_t kIsotropic = 7;
    constexpr std::uint16_t kAnisotropic = 8;
    if (layout.mapMode != kIsotropic && layout.mapMode != kAnisotropic)
        return 1;
    const Extent window = layout.windowExt.value_or(Extent{1024, 1024});
    const Extent viewport = layout.viewportExt.value_or(Extent{1024, 1024});
    if (window.x == 0 || window.y == 0 || viewport.x == 0 || viewport.y == 0)
        return 1;
    return std::abs((double(viewport.x) / window.x) / (double(viewport.y) / window.y));
}

std::optional<std::pair<std::int32_t, std::int32_t>> placeableHimetric(const PlaceableBox& box)
{
    const std::int32_t width = std::int32_t(box.right) - box.left;
    const std::int32_t height = std::int32_t(box.bottom) - box.top;
    if (box.unitsPerInch == 0)
        return std::nullopt;
    const std::int32_t across = toHimetric(width, box.unitsPerInch), up = toHimetric(height, box.unitsPerInch);
    // A side that rounds to nothing leaves nothing to draw or fit.
    if (across == 0 || up == 0)
        return std::nullopt;
    return std::pair{across, up};
}

} // namespace ostrovel::wmf
