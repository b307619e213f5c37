#pragma once
// The colour type the canvas, the fitting and the export's settings share.

#include <cstdint>

namespace ostrovel {

/// A colour as the canvas takes it: red + 256 * green + 65536 * blue.
using Colour = std::uint32_t;

} // namespace ostrovel
