#pragma once
// The picture layer's units and limits in one place, each with its reason.
// Plain C++: the metafile helper, a program of its own, takes its share from
// here too, so that it and its client cannot disagree.

#include <cstdint>

namespace ostrovel {

// Units

/// HIMETRIC units (0.01 mm) per inch: a picture's natural size is kept in
/// HIMETRIC, as the design's picture object does.
inline constexpr double kHimetricPerInch = 2540.0;
/// Screen pixels per inch used to convert between pixels and HIMETRIC.
inline constexpr double kPixelsPerInch = 96.0;
/// libwmf's device units per inch when it plays a metafile without a
/// placeable header: points.
inline constexpr double kWmfUnitsPerInch = 72.0;

// The canvas

/// Largest width or height the canvas accepts, in pixels: far beyond any
/// screen, while a canvas of that size (1 GiB of ARGB) can still be made.
inline constexpr double kMaxCanvasExtent = 16384.0;

// BMP and GIF (checked by us, decoded by Qt)

/// Largest BMP or GIF file read: the file is held in memory whole while it
/// is checked and decoded.
inline constexpr std::int64_t kMaxRasterFileBytes = std::int64_t(1) << 30;
/// Most pixels a BMP or GIF may have: 512 MiB once decoded to 32 bits.
inline constexpr std::int64_t kMaxRasterPixels = std::int64_t(1) << 27;
/// Qt's allocation limit for those decoders, in MB (Qt's unit): above what
/// kMaxRasterPixels needs, so it only catches what our check let through.
inline constexpr int kRasterAllocationLimitMb = 1024;

// JPEG (our libjpeg-turbo decoder)

/// Largest JPEG read, in bytes: it is held in memory while decoded, but
/// only up to its end marker (what follows is never read).
inline constexpr std::int64_t kMaxJpegFileBytes = 1024LL * 1024 * 1024;
/// Largest decoded picture accepted, in bytes at 4 bytes a pixel.
inline constexpr std::int64_t kMaxJpegOutputBytes = 1024LL * 1024 * 1024;
/// Largest width or height accepted, in pixels: libjpeg's own limit.
inline constexpr int kMaxJpegSide = 65500;
/// More scans than this mark a hostile file: each one is a pass over the
/// image.
inline constexpr int kMaxJpegScans = 500;
/// libjpeg's own working memory (a progressive file's coefficients are kept
/// whole): beyond this it fails instead of asking the system for gigabytes.
inline constexpr long kJpegWorkingMemoryBytes = 1024L * 1024 * 1024;

// PNG, WebP, TIFF, HEIF/AVIF and JPEG XL (Debian's libraries, in-process)

/// Largest such file read: it is held in memory whole while decoded.
inline constexpr std::int64_t kMaxOtherFileBytes = std::int64_t(1) << 30;
/// Most pixels such a picture may have (512 MiB once decoded to 32 bits),
/// checked against its header before anything is allocated.
inline constexpr std::int64_t kMaxOtherPixels = kMaxRasterPixels;
/// Largest width or height accepted, in pixels.
inline constexpr int kMaxOtherSide = 65535;
/// Working memory a library may take for one picture besides the decoded
/// pixels (libjxl's allocations, libtiff's largest single one, PNG chunks).
inline constexpr std::int64_t kOtherDecoderMemoryBytes = std::int64_t(1) << 30;

// Metafiles (libwmf in the helper process)

/// A metafile larger than this is not read at all: real ones are far
/// smaller, and the helper holds the whole file.
inline constexpr std::int64_t kMaxWmfFileBytes = std::int64_t(64) << 20;
/// Largest image side the helper draws, like the canvas limit.
inline constexpr int kMaxWmfSide = 16384;
/// Largest pixel count the helper draws (256 MiB of ARGB), so that neither
/// side of the pipe holds more than that.
inline constexpr std::int64_t kMaxWmfPixels = std::int64_t(1) << 26;
/// Pixel budget of the helper's supersampled drawing (16 Mi pixels): small
/// renderings are drawn up to 4 times larger each way, large ones less.
inline constexpr double kWmfSupersamplePixels = double(1 << 24);
/// Bitmaps inside a metafile beyond this are not decoded (128 MiB as ARGB).
inline constexpr std::int64_t kMaxWmfBitmapPixels = std::int64_t(1) << 25;
/// Largest side of a bitmap inside a metafile: libwmf keeps sides in 16 bits.
inline constexpr std::int64_t kMaxWmfBitmapSide = 65535;
/// Qt's allocation limit for those bitmaps, in MB (Qt's unit).
inline constexpr int kWmfBitmapAllocationLimitMb = 256;
/// Address space allowed to the helper process: a hostile file cannot take
/// the machine.
inline constexpr std::uint64_t kWmfHelperAddressSpaceBytes = std::uint64_t(1) << 30;

static_assert(kMaxWmfSide == kMaxCanvasExtent, "the helper draws at most what the canvas can show");

} // namespace ostrovel
