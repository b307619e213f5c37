#include "tests/support/PhotoScene.h"

#include <algorithm>
#include <cmath>

namespace bench {
namespace {

constexpr float kTau = 6.2831853f;
constexpr float kSensorNoise = 5.5f; // levels, triangular; cameras at base ISO
constexpr float kPixelDetail = 0.5f; // per-pixel share of a layer's texture
constexpr float kTint = 16.0f;
constexpr float kLight = 22.0f;
constexpr int kTextureCells[] = {48, 16, 5, 2};
constexpr float kTextureWeights[] = {0.4f, 0.3f, 0.2f, 0.15f};

void randomColour(Rng& rng, float out[3], float lo, float hi)
{
    for (int c = 0; c < 3; ++c)
        out[c] = rng.range(lo, hi);
}

// The x range [from, to) a shape covers on row y; false when it misses it.
bool span(const PhotoScene::Shape& s, float y, float& from, float& to)
{
    switch (s.kind) {
    case PhotoScene::Shape::Ellipse: {
        const float dy = (y - s.b) / s.d;
        if (std::abs(dy) >= 1.0f)
            return false;
        const float half = s.c * std::sqrt(1.0f - dy * dy);
        from = s.a - half;
        to = s.a + half;
        return true;
    }
    case PhotoScene::Shape::Box:
        from = s.a;
        to = s.c;
        return y >= s.b && y < s.d;
    case PhotoScene::Shape::Peak: {
        if (y < s.b || y >= s.c)
            return false;
        const float t = (y - s.b) / (s.c - s.b);
        from = s.a + (s.d - s.a) * t;
        to = s.a + (s.e - s.a) * t;
        return true;
    }
    }
    return false;
}

// Windows, planks, fabric: a sine across the shape when it has stripes.
float stripes(const PhotoScene::Shape* s, std::size_t x, int y)
{
    if (!s || s->stripePeriod <= 0)
        return 0.0f;
    return s->stripeAmp * std::sin(kTau * (float(x) * s->stripeCos + float(y) * s->stripeSin) / s->stripePeriod);
}

// From the top 16 bits of a pixel's random word: uniform in [-k, k).
float pixelDetail(std::uint64_t bits)
{
    return (float(bits >> 48) * (1.0f / 32768.0f) - 1.0f) * kPixelDetail;
}

// From two bytes of the word per channel: triangular, like shot noise.
float sensorNoise(std::uint64_t bits, std::size_t channel)
{
    const float a = float((bits >> (16 * channel)) & 0xFF), b = float((bits >> (16 * channel + 8)) & 0xFF);
    return (a + b - 255.0f) * (kSensorNoise / 128.0f);
}

std::uint8_t clampLevel(float v)
{
    return std::uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

} // namespace

std::uint64_t Rng::next()
{
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

ValueNoise::ValueNoise(int width, int height, int cell, Rng& rng)
    : m_width(width), m_cell(cell), m_gridWidth(width / cell + 2)
{
    const int gridHeight = height / cell + 2;
    m_grid.resize(std::size_t(m_gridWidth) * std::size_t(gridHeight));
    for (float& v : m_grid)
        v = rng.range(-1.0f, 1.0f);
    for (int i = 0; i < cell; ++i) {
        const float t = (float(i) + 0.5f) / float(cell);
        m_weights.push_back(t * t * (3.0f - 2.0f * t));
    }
    m_column.resize(std::size_t(m_gridWidth));
}

void ValueNoise::sampleRow(int y, float* out) const
{
    const int gy = y / m_cell;
    const float wy = m_weights[std::size_t(y % m_cell)];
    const float* top = &m_grid[std::size_t(gy) * std::size_t(m_gridWidth)];
    const float* bottom = top + m_gridWidth;
    for (int gx = 0; gx < m_gridWidth; ++gx)
        m_column[std::size_t(gx)] = top[gx] + (bottom[gx] - top[gx]) * wy;
    for (int x = 0; x < m_width; ++x) {
        const int gx = x / m_cell;
        const float wx = m_weights[std::size_t(x % m_cell)];
        out[x] = m_column[std::size_t(gx)] + (m_column[std::size_t(gx) + 1] - m_column[std::size_t(gx)]) * wx;
    }
}

PhotoScene::PhotoScene(int width, int height, std::uint64_t seed)
    : m_width(width), m_height(height), m_seed(seed)
{
    Rng rng(seed);
    m_horizon = int(float(height) * rng.range(0.3f, 0.6f));
    randomColour(rng, m_sky[0], 60, 150);
    m_sky[0][2] = rng.range(150, 230); // bluish at the top
    randomColour(rng, m_sky[1], 150, 245);
    randomColour(rng, m_ground[0], 40, 140);
    randomColour(rng, m_ground[1], 20, 110);
    const int large = std::max(width, height);
    for (int c = 0; c < 3; ++c)
        m_tint.emplace_back(width, height, large / 4, rng);
    m_light.emplace_back(width, height, large / 10, rng);
    for (int cell : kTextureCells)
        m_texture.emplace_back(width, height, cell, rng);
    makeShapes(rng);
}

// Far to near: mountains, buildings, then trees, bushes and balls.
void PhotoScene::makeShapes(Rng& rng)
{
    makePeaks(rng);
    makeBoxes(rng);
    makeBlobs(rng);
}

void PhotoScene::makePeaks(Rng& rng)
{
    const float w = float(m_width), h = float(m_height), hz = float(m_horizon);
    const int peaks = 1 + int(rng.uniform() * 3);
    for (int i = 0; i < peaks; ++i) {
        const float apexX = rng.range(0, w), apexY = rng.range(0.05f * h, hz * 0.9f);
        Shape s{Shape::Peak, apexX, apexY, hz + 2, apexX - rng.range(0.2f, 0.6f) * w, apexX + rng.range(0.2f, 0.6f) * w,
                {}, {}, rng.range(10, 30), 0, 0, 0, 0};
        randomColour(rng, s.rgb, 50, 150);
        randomColour(rng, s.slope, -40, 40);
        m_shapes.push_back(s);
    }
}

void PhotoScene::makeBoxes(Rng& rng)
{
    const float w = float(m_width), h = float(m_height), hz = float(m_horizon);
    const int boxes = 1 + int(rng.uniform() * 4);
    for (int i = 0; i < boxes; ++i) {
        const float x0 = rng.range(0, w * 0.9f), y0 = rng.range(0.1f * h, hz);
        const float angle = rng.uniform() < 0.5f ? 0.0f : kTau / 4;
        Shape s{Shape::Box, x0, y0, x0 + rng.range(0.05f, 0.25f) * w, hz + rng.range(0.02f, 0.2f) * h,
                0, {}, {}, rng.range(4, 14), rng.range(6, 40), std::cos(angle), std::sin(angle), rng.range(10, 45)};
        randomColour(rng, s.rgb, 60, 220);
        randomColour(rng, s.slope, -30, 30);
        m_shapes.push_back(s);
    }
}

void PhotoScene::makeBlobs(Rng& rng)
{
    const float w = float(m_width), h = float(m_height), hz = float(m_horizon);
    const int blobs = 4 + int(rng.uniform() * 8);
    for (int i = 0; i < blobs; ++i) {
        const float ry = rng.range(0.03f, 0.22f) * h;
        const float angle = rng.range(0, kTau);
        const bool striped = rng.uniform() < 0.2f;
        Shape s{Shape::Ellipse, rng.range(0, w), rng.range(hz - ry, h), ry * rng.range(0.5f, 1.8f), ry,
                0, {}, {}, rng.range(15, 55), striped ? rng.range(5, 25) : 0.0f, std::cos(angle), std::sin(angle),
                rng.range(8, 30)};
        randomColour(rng, s.rgb, 20, 230);
        randomColour(rng, s.slope, -50, 50);
        m_shapes.push_back(s);
    }
}

// Later shapes cover earlier ones, as nearer objects do.
void PhotoScene::paintOwners(int y, std::vector<const Shape*>& owner) const
{
    std::fill(owner.begin(), owner.end(), nullptr);
    for (const Shape& s : m_shapes) {
        float from = 0, to = 0;
        if (!span(s, float(y), from, to))
            continue;
        const int x0 = std::clamp(int(std::lround(from)), 0, m_width);
        const int x1 = std::clamp(int(std::lround(to)), 0, m_width);
        std::fill(owner.begin() + x0, owner.begin() + x1, &s);
    }
}

PhotoScene::Layer PhotoScene::layerAt(int y, const Shape* shape) const
{
    Layer l{};
    if (shape) {
        std::copy(shape->rgb, shape->rgb + 3, l.rgb);
        std::copy(shape->slope, shape->slope + 3, l.slope);
        l.texture = shape->texture;
        l.shape = shape;
        return l;
    }
    const bool sky = y < m_horizon;
    const float t = sky ? float(y) / float(m_horizon) : float(y - m_horizon) / float(m_height - m_horizon);
    const auto& ends = sky ? m_sky : m_ground;
    for (int c = 0; c < 3; ++c)
        l.rgb[c] = ends[0][c] + (ends[1][c] - ends[0][c]) * t;
    l.texture = sky ? 2.0f : 30.0f; // a clear sky is smooth, grass is not
    return l;
}

PhotoScene::RowFields PhotoScene::fieldsAt(int y) const
{
    const std::size_t w = std::size_t(m_width);
    RowFields f{std::vector<float>(3 * w), std::vector<float>(w), std::vector<float>(w, 0.0f)};
    for (std::size_t c = 0; c < 3; ++c)
        m_tint[c].sampleRow(y, f.tint.data() + c * w);
    m_light[0].sampleRow(y, f.light.data());
    std::vector<float> scratch(w);
    for (std::size_t k = 0; k < m_texture.size(); ++k) {
        m_texture[k].sampleRow(y, scratch.data());
        for (std::size_t x = 0; x < w; ++x)
            f.texture[x] += kTextureWeights[k] * scratch[x];
    }
    return f;
}

void PhotoScene::renderRow(int y, unsigned char* rgb) const
{
    const RowFields f = fieldsAt(y);
    std::vector<const Shape*> owner(static_cast<std::size_t>(m_width));
    paintOwners(y, owner);
    Rng grain(m_seed ^ (std::uint64_t(y) * 0xD1B54A32D192ED03ull));
    const float down = float(y) / float(m_height) - 0.5f;
    const Shape* current = nullptr;
    Layer layer = layerAt(y, nullptr);
    for (std::size_t x = 0; x < owner.size(); ++x) {
        if (owner[x] != current) {
            current = owner[x];
            layer = layerAt(y, current);
        }
        const std::uint64_t bits = grain.next();
        const float detail = f.texture[x] * layer.texture + f.light[x] * kLight + stripes(layer.shape, x, y)
                             + pixelDetail(bits) * layer.texture;
        for (std::size_t c = 0; c < 3; ++c) {
            const float v = layer.rgb[c] + layer.slope[c] * down + f.tint[c * owner.size() + x] * kTint + detail
                            + sensorNoise(bits, c);
            rgb[x * 3 + c] = clampLevel(v);
        }
    }
}

} // namespace bench
