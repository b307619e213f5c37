#include "PictureFiles.h"

#include <QDir>
#include <algorithm>

namespace ostrovel {

QStringList MatchingPictureFiles(const QString& folder)
{
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.jpg"), QStringLiteral("*.bmp"), QStringLiteral("*.gif"), QStringLiteral("*.wmf")});
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Unsorted);
    QStringList names = dir.entryList();
    // Hidden files stay out (such as the "._" companions other systems leave
    // beside pictures), but a picture named only ".jpg" has no other name.
    names.removeIf([](const QString& name) { return name.startsWith(u'.') && name.size() != 4; });
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

} // namespace ostrovel
