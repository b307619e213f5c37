#pragma once
// How far a JPEG is reduced while it is decoded, for the loader and for the
// estimate of what loading it holds: both must choose alike.

#include <QSize>

namespace ostrovel {

/// The largest DCT scale denominator (8, 4, 2 or 1) that still leaves the
/// room its thumbnail needs to stay close to the full decode's (measured:
/// 2 x the drawn size for 1/8 and 1/4, less for 1/2, whose inverse DCT is
/// itself a good filter) for the final reduction to the size a picture of
/// `upright` pixels is drawn at when fitted into `box`. 1 for an empty box
/// or picture.
int ReductionFor(QSize upright, QSize box);

} // namespace ostrovel
