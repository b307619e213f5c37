#pragma once
// What the metafile helper and its client agree on. The helper is called as
//   ostrovel-wmf [OPTIONS] --probe                -> "WIDTH HEIGHT\n" in HIMETRIC
//   ostrovel-wmf [OPTIONS] --render WIDTH HEIGHT  -> RenderHeader + pixels
// with the metafile as its standard input (a regular file, read from offset
// 0) and the answer on its standard output; it exits with 0 only when that
// output is complete. OPTIONS:
//   --parent PID     exit at once unless PID is still the parent
//   --memory BYTES   the address space the helper allows itself

#include "picture/Limits.h"

#include <cstdint>

namespace ostrovel::wmf::protocol {

inline constexpr char kHelperName[] = "ostrovel-wmf";

// Both sides of the pipe hold to these; the numbers and their reasons are in
// Limits.h.
inline constexpr int kMaxSide = kMaxWmfSide;
inline constexpr std::int64_t kMaxPixels = kMaxWmfPixels;
inline constexpr std::int64_t kMaxFileBytes = kMaxWmfFileBytes;

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitUnreadable = 2, // not a metafile, broken, or refused
    kExitFailed = 3,     // the drawing or the output failed
    kExitTooLarge = 4,   // the file is larger than kMaxFileBytes
    kExitNoMemory = 5,   // memory ran out
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
