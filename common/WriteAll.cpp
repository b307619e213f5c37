#include "common/WriteAll.h"

#include <cerrno>
#include <unistd.h>

namespace ostrovel {

bool writeAll(int fd, const void* data, std::size_t length)
{
    const auto* next = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t written = ::write(fd, next, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace ostrovel
