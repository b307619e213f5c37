#include "chooser/StatusLine.h"

#include <QFontMetrics>

#include <algorithm>
#include <climits>

namespace ostrovel {

QString StatusLineText(const QString& path, int statusLineWidth, const QFontMetrics& metrics)
{
    if (path.isEmpty())
        return QString();
    const QString caption = QStringLiteral("Auswahl: ");
    // The path may run 80 px past the room beside the caption; widened in
    // 64 bits so that a huge label width cannot overflow.
    const long long available = static_cast<long long>(statusLineWidth)
        - metrics.horizontalAdvance(caption) + 80;
    const int width = static_cast<int>(std::clamp<long long>(available, INT_MIN, INT_MAX));
    QString shortened = metrics.elidedText(path, Qt::ElideMiddle, width);
    // Qt returns "" only when not even the ellipsis fits (a bare "…" is a
    // real, if extreme, shortening and is kept). "" means the shortening
    // failed, and then the whole path follows the caption.
    if (shortened.isEmpty())
        shortened = path;
    return caption + shortened;
}

} // namespace ostrovel
