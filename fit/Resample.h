#pragma once
// Resizes 8-bit pixels with a separable Lanczos-3 kernel, the one step that
// turns decoded pixels into the drawn picture (the window's canvas, the
// written thumbnail and the high-density display alike).

#include <cstddef>
#include <cstdint>

namespace ostrovel {

/// Pixels as QImage keeps Format_RGB32 and Format_ARGB32_Premultiplied in
/// memory: 4 bytes each, blue, green, red, alpha on little-endian machines,
/// the colour premultiplied by alpha. Red and blue may also be the other way
/// round (Format_RGBX8888): the three colours are treated alike.
template <typename Byte>
struct Pixels {
    Byte* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;
};
using SourcePixels = Pixels<const std::uint8_t>;
using TargetPixels = Pixels<std::uint8_t>;

/// The part of the source that holds the picture, in source pixels. A reduced
/// JPEG decode can end in a partial pixel that is mostly the encoder's padding:
/// a pixel counts as part of the picture when more than half of it lies inside.
struct SourceArea {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

/// How the kernel mixes colours: on the stored sRGB values (palette and
/// 1-bit pictures, whose dithering was made in those values), or on linear
/// light (photos: sRGB decoded through a table, filtered, encoded again).
enum class Light { Srgb, Linear };

/// Resamples `area` of `source` into the whole of `target` (both of the
/// layout above, not overlapping). Lanczos-3 scaled to the reduction when
/// reducing, plain Lanczos-3 interpolation when enlarging, each output kept
/// within the range of the source pixels under the kernel's main lobe (no
/// ringing at hard edges); edge pixels are weighted only with pixels inside
/// the area. `opaque` sources skip the
/// alpha handling and come out with alpha 255. False when the sizes are
/// empty or the area lies outside the source.
bool Resample(const SourcePixels& source, SourceArea area, const TargetPixels& target, bool opaque,
              Light light = Light::Linear);

} // namespace ostrovel
