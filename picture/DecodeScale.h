#pragma once
// How far a JPEG is reduced while it is decoded, for the loader and for the
// estimate of what loading it holds: both must choose alike.

#include <QSize>

namespace ostrovel {

/// The largest DCT scale denominator (8, 4, 2 or 1) that still leaves at
/// least a factor of 2 for the final reduction to the size a picture of
/// `upright` pixels is drawn at when fitted into `box`: the kernel needs
/// that room, a deeper decode is itself a box filter and soft. 1 for an
/// empty box or picture.
int ReductionFor(QSize upright, QSize box);

} // namespace ostrovel
