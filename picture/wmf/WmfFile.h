#pragma once
// A first look at a metafile held in memory, before libwmf sees it: the
// headers and the chain of records are checked against the real length, so
// that no claim in the file makes the player allocate or read beyond it.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace ostrovel::wmf {

// The rectangle of a placeable header, in the metafile's logical units.
struct PlaceableBox {
    std::int16_t left = 0;
    std::int16_t top = 0;
    std::int16_t right = 0;
    std::int16_t bottom = 0;
    std::uint16_t unitsPerInch = 0;
};

struct Extent {
    std::int16_t x = 0;
    std::int16_t y = 0;
};

struct WmfLayout {
    std::optional<PlaceableBox> placeable;
    // Whether any record sets the window origin or extent; without them a
    // placeable metafile's own rectangle stands in for the window.
    bool setsWindowOrg = false;
    bool setsWindowExt = false;
    // The last mapping mode and extents the records set.
    std::uint16_t mapMode = 0;
    std::optional<Extent> windowExt;
    std::optional<Extent> viewportExt;
};

/// Checks the optional placeable header, the metafile header and that the
/// records chain up to an end record inside `bytes`, none larger than the
/// header's largest-record claim, which in turn fits into the file.
/// Nothing when any of this fails.
std::optional<WmfLayout> inspectWmf(std::span<const std::uint8_t> bytes);

/// How many times longer a logical unit across is than one up, in libwmf's
/// device space, under the last mapping mode and extents of `layout`: the
/// (an)isotropic modes scale its 1024 x 1024 viewport by the window; the
/// other modes keep logical units square (1).
double deviceAspect(const WmfLayout& layout);

/// The natural size of a placeable box in HIMETRIC (2540 per inch), each side
/// |far - near| * 2540 / unitsPerInch to the nearest whole number, halves
/// away from zero. Nothing when unitsPerInch is 0 or a side rounds to 0.
std::optional<std::pair<std::int32_t, std::int32_t>> placeableHimetric(const PlaceableBox& box);

} // namespace ostrovel::wmf
