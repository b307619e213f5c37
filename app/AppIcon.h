#pragma once
// The program's icon, drawn in code so that every size comes from one drawing.

#include <QImage>

namespace ostrovel {

/// The icon at `size` x `size` pixels, with a transparent background.
QImage DrawAppIcon(int size);

} // namespace ostrovel
