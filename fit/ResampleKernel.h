#pragma once
// What both paths of the resampler share: the tables between 8-bit values and
// the filtered quantity, and the weights along one axis (Lanczos-3 where it
// reduces, Mitchell-Netravali where it enlarges).

#include "fit/Resample.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ostrovel::resample {

constexpr int kEncodeSteps = 16383; // linear light back to 8 bits: fine enough near black

/// The 8-bit value to the filtered quantity, and back.
struct Tables {
    std::array<float, 256> decode[2]{};                  // [light]
    std::array<std::uint8_t, kEncodeSteps + 1> encode{}; // linear only
    Tables();
};

/// The tables, made once.
const Tables& tables();

/// The source pixels each output pixel mixes along one axis.
struct AxisTaps {
    std::vector<int> first;     // per output: first source pixel
    std::vector<int> count;     // per output: how many
    std::vector<int> offset;    // per output: where its weights start
    std::vector<float> weights; // normalised to a sum of 1
    std::vector<int> lobeFirst; // per output: the pixels under the main lobe,
    std::vector<int> lobeCount; // whose range the output is clamped to
    int low = 0;                // the pixels inside the area: [low, high)
    int high = 0;
    int maxCount = 0;
};

/// The taps of `targetSize` outputs from the source pixels `start` to
/// `start + extent` of `sourceSize`; the last few geometries are kept per thread.
const AxisTaps& cachedAxisTaps(int sourceSize, double start, double extent, int targetSize);

/// Four channels in one register: the compiler's vector type, plain SSE2 or NEON.
using Pixel4 = float __attribute__((vector_size(16)));

/// Four floats from anywhere in memory.
inline Pixel4 load4(const float* p)
{
    Pixel4 a;
    std::memcpy(&a, p, sizeof a);
    return a;
}

/// Which way Resample goes: the fastest path that applies, or always the
/// general one (the reference the fast path is held to).
enum class Path { Fastest, General };

/// Resample, the path chosen by `path`.
bool resampleBy(Path path, const SourcePixels& source, SourceArea area, const TargetPixels& target, bool opaque,
                Light light);

/// Reduces opaque `source` into `target` with the taps given: the fast path of
/// Resample for photos (no alpha, no enlargement, so no clamp).
void reduceOpaque(const SourcePixels& source, const AxisTaps& across, const AxisTaps& down,
                  const TargetPixels& target, Light light);

} // namespace ostrovel::resample
