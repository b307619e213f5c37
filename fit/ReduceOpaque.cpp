// The resampler's path for photos: opaque pictures made smaller. The pass
// down comes first, over whole rows of the source (long runs the compiler
// turns into vector code, the kernel's rows kept in a small ring); the pass
// across then works on as many rows as the target has, not the source.

#include "fit/ResampleKernel.h"

#include <algorithm>
#include <vector>

namespace ostrovel::resample {
namespace {

constexpr int kChannels = 3; // blue, green, red: the alpha of an opaque picture is not mixed
constexpr int kWides = 4;              // sums kept in registers while mixing down
constexpr int kChunk = 8 * kWides;     // floats mixed down at once

// Eight floats: one AVX register, or two SSE ones.
using Wide = float __attribute__((vector_size(32)));
using Int4 = std::int32_t __attribute__((vector_size(16)));

// The pass down is most of the work: where the processor has AVX2 it runs
// twice as wide. Each lane computes the same (no fused multiply-add: this
// file is built without contraction), so the thumbnails are the same bytes.
// Not under ThreadSanitizer: the clones' resolver runs while the program is
// loaded, before the sanitizer's runtime, and its instrumented code crashes.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define OSTROVEL_WIDEST __attribute__((target_clones("avx2", "default")))
#else
#define OSTROVEL_WIDEST
#endif

// The floats of a row that the passes use, in whole chunks, and a row's
// length: room for a four-float load at the last pixel.
struct RowSpan {
    int begin = 0;
    int end = 0;
    std::size_t length = 0;
};

RowSpan rowSpan(const AxisTaps& across)
{
    RowSpan span;
    span.begin = kChannels * across.low / kChunk * kChunk;
    span.end = (kChannels * across.high + kChunk - 1) / kChunk * kChunk;
    span.length = std::size_t(span.end) + 4;
    return span;
}

// One source row from 8 bits to the filtered quantity, 3 floats a pixel.
void loadRow(const std::uint8_t* p, const float* decode, int low, int high, float* out)
{
    for (int x = low; x < high; ++x) {
        out[kChannels * x] = decode[p[4 * x]];
        out[kChannels * x + 1] = decode[p[4 * x + 1]];
        out[kChannels * x + 2] = decode[p[4 * x + 2]];
    }
}

// The weighted sum of `count` rows into `out`, chunk by chunk, the sums kept
// in registers over all rows.
OSTROVEL_WIDEST void mixDown(const float* const* rows, const float* w, int count, RowSpan span, float* out)
{
    for (int i = span.begin; i < span.end; i += kChunk) {
        Wide sums[kWides]{};
        for (int k = 0; k < count; ++k) {
            const float* r = rows[k] + i;
#pragma GCC unroll 4
            for (int j = 0; j < kWides; ++j) {
                Wide v;
                std::memcpy(&v, r + 8 * j, sizeof v);
                sums[j] += w[k] * v;
            }
        }
        std::memcpy(out + i, sums, sizeof sums);
    }
}

// One mixed pixel (its fourth lane is the next pixel's, unused) to 8 bits,
// rounded as the general path rounds.
void storePixel(Pixel4 v, Light light, const Tables& t, std::uint8_t* q)
{
    const Pixel4 zero{}, one = zero + 1.0f;
    v = v < zero ? zero : v;
    v = v > one ? one : v;
    if (light == Light::Linear) {
        const Int4 i = __builtin_convertvector(v * float(kEncodeSteps) + 0.5f, Int4);
        q[0] = t.encode[std::size_t(i[0])], q[1] = t.encode[std::size_t(i[1])], q[2] = t.encode[std::size_t(i[2])];
    } else {
        const Int4 i = __builtin_convertvector(v * 255.0f + 0.5f, Int4);
        q[0] = std::uint8_t(i[0]), q[1] = std::uint8_t(i[1]), q[2] = std::uint8_t(i[2]);
    }
    q[3] = 255;
}

// Mixes one row across into the target row; four sums hide the adds' latency.
void mixAcross(const AxisTaps& taps, const float* row, int width, Light light, std::uint8_t* out)
{
    const Tables& t = tables();
    for (int x = 0; x < width; ++x) {
        const float* w = taps.weights.data() + taps.offset[std::size_t(x)];
        const float* s = row + kChannels * taps.first[std::size_t(x)];
        const int count = taps.count[std::size_t(x)];
        Pixel4 a0{}, a1{}, a2{}, a3{};
        int k = 0;
        for (; k + 3 < count; k += 4, s += 4 * kChannels) {
            a0 += w[k] * load4(s);
            a1 += w[k + 1] * load4(s + kChannels);
            a2 += w[k + 2] * load4(s + 2 * kChannels);
            a3 += w[k + 3] * load4(s + 3 * kChannels);
        }
        for (; k < count; ++k, s += kChannels)
            a0 += w[k] * load4(s);
        storePixel((a0 + a1) + (a2 + a3), light, t, out + 4 * x);
    }
}

// The source rows in the filtered quantity, each loaded once and kept as
// long as the kernel's window down needs it.
class RowRing {
public:
    RowRing(const SourcePixels& source, const AxisTaps& across, int slots, RowSpan span, Light light)
        : m_source(source), m_across(across), m_span(span), m_decode(tables().decode[int(light)].data()),
          m_floats(std::size_t(slots) * span.length), m_rows(std::size_t(slots), -1)
    {
    }

    const float* row(int y)
    {
        const std::size_t slot = std::size_t(y) % m_rows.size();
        float* at = m_floats.data() + slot * m_span.length;
        if (m_rows[slot] != y) {
            loadRow(m_source.bits + std::ptrdiff_t(y) * m_source.bytesPerLine, m_decode, m_across.low,
                    m_across.high, at);
            m_rows[slot] = y;
        }
        return at;
    }

private:
    const SourcePixels& m_source;
    const AxisTaps& m_across;
    RowSpan m_span;
    const float* m_decode;
    std::vector<float> m_floats; // zero outside the area, never written there
    std::vector<int> m_rows;
};

} // namespace

void reduceOpaque(const SourcePixels& source, const AxisTaps& across, const AxisTaps& down,
                  const TargetPixels& target, Light light)
{
    const RowSpan span = rowSpan(across);
    RowRing ring(source, across, down.maxCount, span, light);
    std::vector<float> mixed(span.length);
    std::vector<const float*> rows(std::size_t(down.maxCount));
    for (int y = 0; y < target.height; ++y) {
        const int first = down.first[std::size_t(y)], count = down.count[std::size_t(y)];
        for (int k = 0; k < count; ++k)
            rows[std::size_t(k)] = ring.row(first + k);
        mixDown(rows.data(), down.weights.data() + down.offset[std::size_t(y)], count, span, mixed.data());
        mixAcross(across, mixed.data(), target.width, light, target.bits + std::ptrdiff_t(y) * target.bytesPerLine);
    }
}

} // namespace ostrovel::resample
