#pragma once

#include <cstddef>

namespace ostrovel::jpegdec {

/// A run of compressed bytes handed to libjpeg as it is, without a copy.
struct ByteSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

} // namespace ostrovel::jpegdec
