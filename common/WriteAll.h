#pragma once
// One write loop for every file descriptor we fill: write() may take only
// part of the bytes or be interrupted by a signal.

#include <cstddef>

namespace ostrovel {

/// Writes all `length` bytes at `data` to `fd`, retrying after EINTR and
/// short writes; false on any other error (errno tells which).
bool writeAll(int fd, const void* data, std::size_t length);

} // namespace ostrovel
