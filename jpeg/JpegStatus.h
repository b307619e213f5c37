#pragma once
// The writer's statuses, in GDI+'s numbering.

namespace ostrovel {

/// Statuses in GDI+'s numbering; 0 is success.
enum JpegStatus : int {
    kStatusOk = 0,
    kStatusInvalidParameter = 2, // an empty picture
    kStatusOutOfMemory = 3,
    kStatusWin32Error = 7, // the file could not be created or written
};

} // namespace ostrovel
