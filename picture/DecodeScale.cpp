#include "picture/DecodeScale.h"

#include <algorithm>
#include <cmath>

namespace ostrovel {
namespace {

// The room (decoded size over drawn size) each reduced DCT decode needs for
// its thumbnail to stay within butteraugli 3-norm 0.75 (median; worst 0.85)
// of the full decode's: the 1/2 scale's inverse DCT is itself a good filter,
// 1/4 and 1/8 are close to a box and leave aliasing for the kernel to remove.
// Measured with bench/decode_scale.py (bench/README.md).
struct ScaleRoom {
    int denominator;
    double room;
};
constexpr ScaleRoom kScaleRooms[] = {{8, 2.0}, {4, 2.0}, {2, 1.25}};

} // namespace

int ReductionFor(QSize upright, QSize box)
{
    if (box.isEmpty() || upright.isEmpty())
        return 1;
    const double scale = std::min(double(box.width()) / upright.width(), double(box.height()) / upright.height());
    const double drawnWidth = std::max(1.0, std::round(upright.width() * scale));
    const double drawnHeight = std::max(1.0, std::round(upright.height() * scale));
    for (const auto [d, room] : kScaleRooms) {
        if (double(upright.width()) / d >= room * drawnWidth && double(upright.height()) / d >= room * drawnHeight)
            return d;
    }
    return 1;
}

} // namespace ostrovel
