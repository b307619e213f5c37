#include "fit/ResampleKernel.h"

#include <algorithm>
#include <cmath>

namespace ostrovel::resample {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Reductions: the windowed sinc, sharp and alias-free.
constexpr double kLanczosRadius = 3.0;

double lanczos3(double x)
{
    x = std::abs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= kLanczosRadius)
        return 0.0;
    const double px = kPi * x;
    return kLanczosRadius * std::sin(px) * std::sin(px / kLanczosRadius) / (px * px);
}

// Enlargements: Mitchell-Netravali (B = C = 1/3). Its one small negative lobe
// barely overshoots, so the clamp to the main lobe's range hardly has to act;
// clamped, the sinc's deep lobes swelled the corners of enlarged logos and
// letters into blobs.
constexpr double kMitchellRadius = 2.0;

double mitchell(double x)
{
    constexpr double b = 1.0 / 3.0, c = 1.0 / 3.0;
    x = std::abs(x);
    if (x < 1.0)
        return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
    if (x < 2.0)
        return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
    return 0.0;
}

double srgbToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double linearToSrgb(double v)
{
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

} // namespace

Tables::Tables()
{
    for (int i = 0; i < 256; ++i) {
        decode[int(Light::Srgb)][std::size_t(i)] = float(i / 255.0);
        decode[int(Light::Linear)][std::size_t(i)] = float(srgbToLinear(i / 255.0));
    }
    for (int i = 0; i <= kEncodeSteps; ++i)
        encode[std::size_t(i)] = std::uint8_t(std::lround(255.0 * linearToSrgb(double(i) / kEncodeSteps)));
}

const Tables& tables()
{
    static const Tables t;
    return t;
}

namespace {

// A pixel belongs to the picture when its centre lies inside the area.
void insidePixels(int sourceSize, double start, double extent, AxisTaps& taps)
{
    taps.low = std::clamp(int(std::floor(start - 0.5)) + 1, 0, sourceSize - 1);
    taps.high = std::clamp(int(std::ceil(start + extent - 0.5)), taps.low + 1, sourceSize);
}

// The pixels within the kernel's first zeros (closer than `stretch` to the
// centre): the negative side lobes ring past edges, so the output is kept
// within the range of these; the nearest pixel when none is that close.
void addLobe(AxisTaps& taps, double centre, double stretch, int first, int count)
{
    int from = first + count, to = first - 1;
    for (int j = first; j < first + count; ++j)
        if (std::abs(j + 0.5 - centre) < stretch)
            from = std::min(from, j), to = std::max(to, j);
    if (from > to)
        from = to = std::clamp(int(std::floor(centre)), first, first + count - 1);
    taps.lobeFirst.push_back(from);
    taps.lobeCount.push_back(to - from + 1);
}

// The weights of output pixel `i` from the pixels around `centre`.
void addOutput(AxisTaps& taps, double centre, double support, double stretch, double (*kernel)(double))
{
    const int from = std::max(taps.low, int(std::floor(centre - support)));
    const int to = std::min(taps.high - 1, int(std::ceil(centre + support)));
    const std::size_t at = taps.weights.size();
    double sum = 0;
    for (int j = from; j <= to; ++j) {
        const double w = kernel((j + 0.5 - centre) / stretch);
        taps.weights.push_back(float(w));
        sum += w;
    }
    int first = from, count = to - from + 1;
    if (count <= 0 || sum < 1e-6) { // no usable neighbour: the nearest pixel inside
        taps.weights.resize(at);
        first = std::clamp(int(std::floor(centre)), taps.low, taps.high - 1);
        count = 1;
        taps.weights.push_back(1.0f);
        sum = 1.0;
    }
    for (std::size_t k = at; k < taps.weights.size(); ++k)
        taps.weights[k] = float(taps.weights[k] / sum);
    taps.first.push_back(first);
    taps.count.push_back(count);
    taps.offset.push_back(int(at));
    taps.maxCount = std::max(taps.maxCount, count);
    addLobe(taps, centre, stretch, first, count);
}

AxisTaps axisTaps(int sourceSize, double start, double extent, int targetSize)
{
    AxisTaps taps;
    insidePixels(sourceSize, start, extent, taps);
    const double scale = extent / targetSize;
    const double stretch = std::max(scale, 1.0); // a reduction widens the kernel
    const bool enlarging = scale < 1.0;
    const double support = (enlarging ? kMitchellRadius : kLanczosRadius) * stretch;
    for (int i = 0; i < targetSize; ++i)
        addOutput(taps, start + (i + 0.5) * scale, support, stretch, enlarging ? mitchell : lanczos3);
    return taps;
}

} // namespace

// A batch fits picture after picture of the same size into the same box: the
// weights (a sine per tap) are made once per thread for each recent geometry.
const AxisTaps& cachedAxisTaps(int sourceSize, double start, double extent, int targetSize)
{
    struct Entry {
        int sourceSize;
        double start, extent;
        int targetSize;
        AxisTaps taps;
    };
    constexpr std::size_t kKept = 4;
    thread_local std::vector<Entry> recent;
    for (std::size_t i = 0; i < recent.size(); ++i) {
        const Entry& e = recent[i];
        if (e.sourceSize == sourceSize && e.start == start && e.extent == extent && e.targetSize == targetSize) {
            std::rotate(recent.begin(), recent.begin() + std::ptrdiff_t(i), recent.begin() + std::ptrdiff_t(i) + 1);
            return recent.front().taps;
        }
    }
    if (recent.size() == kKept)
        recent.pop_back();
    recent.insert(recent.begin(), Entry{sourceSize, start, extent, targetSize, axisTaps(sourceSize, start, extent, targetSize)});
    return recent.front().taps;
}

} // namespace ostrovel::resample
