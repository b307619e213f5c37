#include "fit/Resample.h"

#include "fit/ResampleKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace ostrovel {
namespace {

using namespace resample;


struct Job {
    const SourcePixels& source;
    const TargetPixels& target;
    const AxisTaps& across;
    const AxisTaps& down;
    bool opaque;
    Light light;
    const Tables* tables;
    bool clamp; // enlarging: the sinc's side lobes would ring across flat areas
};

// One source row from 8 bits to floats (4 per pixel, in memory order).
void loadRow(const Job& job, int y, std::vector<float>& out)
{
    const auto& decode = job.tables->decode[int(job.light)];
    const auto& plain = job.tables->decode[int(Light::Srgb)];
    const std::uint8_t* p = job.source.bits + std::ptrdiff_t(y) * job.source.bytesPerLine;
    const bool unpremultiply = !job.opaque && job.light == Light::Linear;
    for (int x = job.across.low; x < job.across.high; ++x) {
        const std::uint8_t* q = p + 4 * x;
        float* f = out.data() + 4 * x;
        if (job.opaque || !unpremultiply) {
            for (int c = 0; c < 3; ++c)
                f[c] = decode[q[c]];
            f[3] = job.opaque ? 1.0f : plain[q[3]];
            continue;
        }
        // Linear light needs the colour itself, then premultiplied again.
        const unsigned a = q[3];
        for (int c = 0; c < 3; ++c)
            f[c] = a == 0 ? 0.0f : decode[std::min(255u, (q[c] * 255u + a / 2) / a)] * plain[a];
        f[3] = plain[a];
    }
}

Pixel4 clamped(Pixel4 v, Pixel4 low, Pixel4 high)
{
    v = v < low ? low : v;
    return v > high ? high : v;
}

// Mixes one loaded source row across into `out`: 4 floats per target pixel,
// then, a plane of `width` pixels further each, the least and the greatest
// source values under the main lobe, from which the pass down takes the
// range of the whole rectangle under its lobe.
void filterAcross(const AxisTaps& taps, const std::vector<float>& row, float* out, int width, bool clamp)
{
    float* const lows = out + 4 * std::ptrdiff_t(width);
    float* const highs = lows + 4 * std::ptrdiff_t(width);
    for (int x = 0; x < width; ++x) {
        const float* w = taps.weights.data() + taps.offset[std::size_t(x)];
        const float* s = row.data() + 4 * taps.first[std::size_t(x)];
        Pixel4 even = {0, 0, 0, 0}, odd = {0, 0, 0, 0}; // two chains hide the add's latency
        const int count = taps.count[std::size_t(x)];
        int k = 0;
        for (; k + 1 < count; k += 2, s += 8) {
            even += w[k] * load4(s);
            odd += w[k + 1] * load4(s + 4);
        }
        if (k < count)
            even += w[k] * load4(s);
        const Pixel4 mixed = even + odd;
        std::memcpy(out + 4 * x, &mixed, sizeof mixed);
        if (!clamp)
            continue;
        const float* lobe = row.data() + 4 * taps.lobeFirst[std::size_t(x)];
        Pixel4 low = load4(lobe), high = low;
        for (int j = 1; j < taps.lobeCount[std::size_t(x)]; ++j) {
            const Pixel4 p = load4(lobe + 4 * j);
            low = p < low ? p : low;
            high = p > high ? p : high;
        }
        std::memcpy(lows + 4 * x, &low, sizeof low);
        std::memcpy(highs + 4 * x, &high, sizeof high);
    }
}

// Rounds halves up; the value is clamped to [0, 1] first, so never negative.
std::uint8_t toByte(float v)
{
    return std::uint8_t(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
}

std::uint8_t encodeLinear(const Tables& t, float v)
{
    return t.encode[std::size_t(std::clamp(v, 0.0f, 1.0f) * float(kEncodeSteps) + 0.5f)];
}

// One mixed pixel back to 8 bits, premultiplied; the kernel's overshoot is cut off.
void storePixel(const Job& job, const float* acc, std::uint8_t* q)
{
    const Tables& t = *job.tables;
    const float a = job.opaque ? 1.0f : std::clamp(acc[3], 0.0f, 1.0f);
    q[3] = toByte(a);
    if (job.light == Light::Srgb) {
        for (int c = 0; c < 3; ++c)
            q[c] = std::min(toByte(acc[c]), q[3]);
        return;
    }
    if (job.opaque) {
        for (int c = 0; c < 3; ++c)
            q[c] = encodeLinear(t, acc[c]);
        return;
    }
    const float alpha8 = float(q[3]) / 255.0f;
    for (int c = 0; c < 3; ++c) {
        const float colour = a > 0 ? encodeLinear(t, acc[c] / a) / 255.0f : 0.0f;
        q[c] = std::min(toByte(colour * alpha8), q[3]);
    }
}

// Horizontally filtered source rows, kept as long as a target row needs them.
class RowCache {
public:
    RowCache(const Job& job)
        : m_job(job), m_slots(std::size_t(job.down.maxCount)), m_rows(m_slots.size(), -1),
          m_loaded(std::size_t(job.source.width) * 4)
    {
        for (auto& slot : m_slots)
            slot.resize(std::size_t(job.target.width) * 12); // mixed, least, greatest
    }

    const float* row(int y)
    {
        const std::size_t slot = std::size_t(y) % m_slots.size();
        if (m_rows[slot] != y) {
            loadRow(m_job, y, m_loaded);
            filterAcross(m_job.across, m_loaded, m_slots[slot].data(), m_job.target.width, m_job.clamp);
            m_rows[slot] = y;
        }
        return m_slots[slot].data();
    }

private:
    const Job& m_job;
    std::vector<std::vector<float>> m_slots;
    std::vector<int> m_rows;
    std::vector<float> m_loaded;
};

// Mixes the cached rows down into one target pixel, within the range of the
// source pixels under the main lobe (`lobe` rows from `rows[lobeAt]`; each
// row's least and greatest values lie `plane` floats after its mixed ones).
Pixel4 mixDown(const float* const* rows, const float* w, int count, int lobeAt, int lobe, std::ptrdiff_t plane,
               int x, bool clamp)
{
    Pixel4 even = {0, 0, 0, 0}, odd = {0, 0, 0, 0};
    int k = 0;
    for (; k + 1 < count; k += 2) {
        even += w[k] * load4(rows[k] + 4 * x);
        odd += w[k + 1] * load4(rows[k + 1] + 4 * x);
    }
    if (k < count)
        even += w[k] * load4(rows[k] + 4 * x);
    if (!clamp)
        return even + odd;
    Pixel4 low = load4(rows[lobeAt] + plane + 4 * x), high = load4(rows[lobeAt] + 2 * plane + 4 * x);
    for (int j = 1; j < lobe; ++j) {
        const Pixel4 l = load4(rows[lobeAt + j] + plane + 4 * x), h = load4(rows[lobeAt + j] + 2 * plane + 4 * x);
        low = l < low ? l : low;
        high = h > high ? h : high;
    }
    return clamped(even + odd, low, high);
}

void filterDown(const Job& job, RowCache& cache)
{
    const int width = job.target.width;
    std::vector<const float*> rows(std::size_t(job.down.maxCount));
    for (int y = 0; y < job.target.height; ++y) {
        const int count = job.down.count[std::size_t(y)];
        const float* w = job.down.weights.data() + job.down.offset[std::size_t(y)];
        for (int k = 0; k < count; ++k)
            rows[std::size_t(k)] = cache.row(job.down.first[std::size_t(y)] + k);
        const int lobeAt = job.down.lobeFirst[std::size_t(y)] - job.down.first[std::size_t(y)];
        const int lobe = job.down.lobeCount[std::size_t(y)];
        std::uint8_t* out = job.target.bits + std::ptrdiff_t(y) * job.target.bytesPerLine;
        for (int x = 0; x < width; ++x) {
            const Pixel4 mixed = mixDown(rows.data(), w, count, lobeAt, lobe, 4 * std::ptrdiff_t(width), x, job.clamp);
            float acc[4];
            std::memcpy(acc, &mixed, sizeof acc);
            storePixel(job, acc, out + 4 * x);
        }
    }
}

template <typename Byte>
bool usable(const Pixels<Byte>& b)
{
    return b.bits != nullptr && b.width > 0 && b.height > 0 && b.bytesPerLine >= 4 * std::ptrdiff_t(b.width);
}

} // namespace

namespace resample {

bool resampleBy(Path path, const SourcePixels& source, SourceArea area, const TargetPixels& target, bool opaque,
                Light light)
{
    if (!usable(source) || !usable(target) || !(area.width > 0) || !(area.height > 0) || area.x < 0
        || area.y < 0 || area.x + area.width > source.width + 1e-6 || area.y + area.height > source.height + 1e-6)
        return false;
    // Copies: the second lookup may push the first out of the cache.
    const AxisTaps across = cachedAxisTaps(source.width, area.x, area.width, target.width);
    const AxisTaps down = cachedAxisTaps(source.height, area.y, area.height, target.height);
    // Reductions keep the plain Lanczos-3: its slight overshoot is what keeps
    // a photo's fine detail; an enlargement is clamped.
    const bool enlarging = area.width < target.width || area.height < target.height;
    if (path == Path::Fastest && opaque && !enlarging) {
        reduceOpaque(source, across, down, target, light);
        return true;
    }
    const Job job{source, target, across, down, opaque, light, &tables(), enlarging};
    RowCache cache(job);
    filterDown(job, cache);
    return true;
}

} // namespace resample

bool Resample(const SourcePixels& source, SourceArea area, const TargetPixels& target, bool opaque, Light light)
{
    return resample::resampleBy(resample::Path::Fastest, source, area, target, opaque, light);
}

} // namespace ostrovel
