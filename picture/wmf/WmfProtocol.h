#pragma once
// What the metafile helper and its client agree on. The helper is called as
//   ostrovel-wmf --probe FILE                 -> "WIDTH HEIGHT\n" in HIMETRIC
//   ostrovel-wmf --render WIDTH HEIGHT FILE   -> RenderHeader + pixels
// on its standard output, and exits with 0 only when that output is complete.

#include <cstdint>

namespace ostrovel::wmf::protocol {

inline constexpr char kHelperName[] = "ostrovel-wmf";

// Largest image side the helper draws, like the canvas limit.
inline constexpr int kMaxSide = 16384;
// Largest pixel count (256 MiB of ARGB), so that neither side of the pipe
// holds more than that.
inline constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;

// A metafile larger than this is not read at all.
inline constexpr std::int64_t kMaxFileBytes = std::int64_t(64) << 20;

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitUnreadable = 2, // not a metafile, broken, or refused
    kExitFailed = 3,     // the drawing or the output failed
};

inline constexpr char kRenderMagic[4] = {'O', 'W', 'M', 'F'};

// Precedes the pixels of a rendering: width * height premultiplied ARGB32
// values in the machine's byte order, row after row, no padding.
struct RenderHeader {
    char magic[4];
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t bytesPerPixel;
};
static_assert(sizeof(RenderHeader) == 16);

/// True when an image of width x height pixels may be requested from the
/// helper: both sides positive, at most kMaxSide, at most kMaxPixels in all.
constexpr bool sizeAllowed(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

} // namespace ostrovel::wmf::protocol
