#pragma once
// A seeded synthetic landscape that compresses like a photograph: smooth
// sky, textured ground, objects with hard edges, lighting and sensor noise.

#include <cstdint>
#include <vector>

namespace bench {

/// splitmix64: small, fast and the same on every platform.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    /// Uniform in [0, 1).
    float uniform() { return float(next() >> 40) * (1.0f / 16777216.0f); }
    /// Uniform in [lo, hi).
    float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }

private:
    std::uint64_t m_state;
};

/// Smoothly interpolated random values on a square grid, in [-1, 1].
class ValueNoise {
public:
    ValueNoise(int width, int height, int cell, Rng& rng);
    /// Row `y` of the field into `out` (width values).
    void sampleRow(int y, float* out) const;

private:
    int m_width;
    int m_cell;
    int m_gridWidth;
    std::vector<float> m_grid;
    std::vector<float> m_weights; // smoothstep weight per position in a cell
    mutable std::vector<float> m_column;
};

class PhotoScene {
public:
    PhotoScene(int width, int height, std::uint64_t seed);
    /// Row `y` as 8-bit RGB (width * 3 bytes). Rows may be asked in any order.
    void renderRow(int y, unsigned char* rgb) const;

    struct Shape {
        enum Kind { Ellipse, Box, Peak } kind;
        float a, b, c, d, e; // ellipse: cx cy rx ry; box: x0 y0 x1 y1; peak: apex x, apex y, base y, left, right
        float rgb[3];
        float slope[3];     // colour change from the image's top to its bottom
        float texture;      // texture amplitude in levels
        float stripePeriod; // 0: none (windows, planks, fabric otherwise)
        float stripeCos, stripeSin, stripeAmp;
    };

private:
    struct Layer {
        float rgb[3];
        float slope[3];
        float texture;
        const Shape* shape;
    };

    /// The smooth fields of one row: tint (3 x width), lighting and texture.
    struct RowFields {
        std::vector<float> tint, light, texture;
    };

    void makeShapes(Rng& rng);
    void makePeaks(Rng& rng);
    void makeBoxes(Rng& rng);
    void makeBlobs(Rng& rng);
    RowFields fieldsAt(int y) const;
    void paintOwners(int y, std::vector<const Shape*>& owner) const;
    Layer layerAt(int y, const Shape* shape) const;

    int m_width;
    int m_height;
    std::uint64_t m_seed;
    int m_horizon;
    float m_sky[2][3];
    float m_ground[2][3];
    std::vector<Shape> m_shapes;
    std::vector<ValueNoise> m_tint;    // per channel, very low frequency
    std::vector<ValueNoise> m_light;   // brightness, low frequency
    std::vector<ValueNoise> m_texture; // coarse to fine detail
};

} // namespace bench
