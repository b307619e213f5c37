#include "Export.h"

#include "Settings.h"

namespace ostrovel {

QString ThumbnailName(const QString& entryName)
{
    return QStringLiteral("thumb_") + entryName.left(qMax<qsizetype>(0, entryName.size() - 4))
           + QStringLiteral(".jpg");
}

QString ThumbnailPath(const QString& targetFolder, const QString& entryName)
{
    return ProperPfad(targetFolder) + ThumbnailName(entryName);
}

QString UnreadableMessage(const QStringList& names)
{
    return QStringLiteral("Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:\n")
           + names.join(u'\n');
}

} // namespace ostrovel
