#pragma once
// Pixel memory for the large pictures of a render: the decoded photo and the
// canvas.

#include <QImage>
#include <QSize>

namespace ostrovel {

/// An uninitialised image of `size` and `format`, null when memory runs out.
/// A large one lives in whole 2 MB pages that are kept when it is freed (a
/// few blocks, up to 128 MB) for the next large picture of any thread: fresh
/// pages cost a fault and the kernel's zeroing on first touch, about 15 % of
/// an export of 12-megapixel photos at 1920 x 1080 on a virtual machine.
/// Where memory runs short, the kept pages go back to the system first.
QImage MakeLargeImage(QSize size, QImage::Format format);

/// Gives the pages kept for later pictures back to the system, for a picture
/// that ran out of memory to be tried once more. False when none were kept.
bool DropKeptPages();

} // namespace ostrovel
