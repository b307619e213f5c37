#include "picture/DecodeScale.h"

#include <algorithm>
#include <cmath>

namespace ostrovel {

int ReductionFor(QSize upright, QSize box)
{
    if (box.isEmpty() || upright.isEmpty())
        return 1;
    const double scale = std::min(double(box.width()) / upright.width(), double(box.height()) / upright.height());
    const double drawnWidth = std::max(1.0, std::round(upright.width() * scale));
    const double drawnHeight = std::max(1.0, std::round(upright.height() * scale));
    for (int d : {8, 4, 2}) {
        if (double(upright.width()) / d >= 2 * drawnWidth && double(upright.height()) / d >= 2 * drawnHeight)
            return d;
    }
    return 1;
}

} // namespace ostrovel
