#include "app/WindowPlacement.h"

#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace ostrovel {

QPoint FramePosition(QSize frame, QRect available)
{
    const int x = available.left() + std::max(0, (available.width() - frame.width()) / 2);
    const int y = available.top() + std::max(0, (available.height() - frame.height()) / 2);
    return {x, y};
}

void PlaceWindow(QWidget& window, QSize client, QRect available)
{
    window.resize(client);
    // The window manager's frame is not known before the window is shown;
    // the style's title bar height stands in for it.
    const int titleBar = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
    // Before the window exists, move() places its frame, title bar included.
    window.move(FramePosition(client + QSize(0, titleBar), available));
}

} // namespace ostrovel
