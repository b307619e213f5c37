#pragma once
// The image comparisons of the tests and benchmarks: the largest channel
// difference for "the same within N", and the PSNR for "close to".

#include <QImage>
#include <QRect>

#include <limits>

namespace ostrovel::test {

/// What maxChannelDifference returns for pictures of different sizes: more
/// than any channel can differ, so that every "at most N" check fails.
inline constexpr int kSizesDiffer = std::numeric_limits<int>::max();

/// The largest difference of a red, green, blue or alpha value between two
/// pictures of the same size (compared as ARGB32), or kSizesDiffer when the
/// sizes differ (a null picture has size 0 x 0).
int maxChannelDifference(const QImage& a, const QImage& b);

/// The peak signal-to-noise ratio of the red, green and blue values of `a`
/// against `b` within `area`, in dB: infinity where they are equal, 0 when
/// the sizes differ or `area` is not inside both.
double psnr(const QImage& a, const QImage& b, QRect area);

} // namespace ostrovel::test
