#include "export/Paths.h"

#include "common/FileNames.h"
#include "common/SystemReason.h"

#include <QStringList>

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace ostrovel {

QString ProperPfad(const QString& pfad)
{
    if (pfad == QStringLiteral("/"))
        return pfad; // the root is already ready; "" would mean the current folder
    if (pfad.size() < 2)
        return QString();
    return pfad.endsWith(u'/') ? pfad : pfad + u'/';
}

namespace {

bool hasListPattern(const QString& name)
{
    static const QStringList patterns{QStringLiteral(".jpg"), QStringLiteral(".bmp"), QStringLiteral(".gif"),
                                      QStringLiteral(".wmf")};
    for (const QString& pattern : patterns)
        if (name.endsWith(pattern, Qt::CaseInsensitive))
            return true;
    return false;
}

// The name without its last extension; a leading dot alone is no extension.
QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

} // namespace

QString ThumbnailName(const QString& entryName)
{
    const QString stem = hasListPattern(entryName) ? entryName.left(entryName.size() - 4) : withoutExtension(entryName);
    return QStringLiteral("thumb_") + stem + QStringLiteral(".jpg");
}

QString ThumbnailPath(const QString& targetFolder, const QString& entryName)
{
    return ProperPfad(targetFolder) + ThumbnailName(entryName);
}

QString NameFault(const QString& path)
{
    const QByteArray bytes = EncodeFileName(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : bytes.left(slash);
    long nameMax = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (nameMax <= 0)
        nameMax = NAME_MAX; // the folder is not there yet: the write will say so
    if (bytes.size() - slash - 1 > nameMax || bytes.size() >= PATH_MAX)
        return SystemReason(ENAMETOOLONG);
    return {};
}

} // namespace ostrovel
