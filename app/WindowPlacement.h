#pragma once
// Where the window opens: centred on the screen, and never with its title
// bar off the screen when a large desktop scale makes it bigger than that.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace ostrovel {

/// The top-left corner for a window whose frame (title bar included) is
/// `frame` on a screen whose free area is `available`, in the same units:
/// centred when it fits; otherwise, in each direction it does not fit, at the
/// free area's near edge, so that the title bar and the top-left corner stay
/// on the screen.
QPoint FramePosition(QSize frame, QRect available);

/// Sizes the not yet shown `window` to a client area of `client` and moves
/// its frame to FramePosition on `available` (the screen's free area).
void PlaceWindow(QWidget& window, QSize client, QRect available);

} // namespace ostrovel
