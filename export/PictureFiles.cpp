#include "export/PictureFiles.h"

#include "common/FileNames.h"

#include <QStringList>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace ostrovel {
namespace {

bool matchesPattern(const QString& name)
{
    for (const char* suffix : {".jpg", ".bmp", ".gif", ".wmf"})
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    return false;
}

// Anything but a folder (links followed): a FIFO or a dangling link named
// like a picture is listed, so that it is reported, not silently lost.
bool notAFolder(int dirFd, const char* name)
{
    struct stat info {};
    if (::fstatat(dirFd, name, &info, 0) != 0)
        return true;
    return !S_ISDIR(info.st_mode);
}

} // namespace

QStringList MatchingPictureFiles(const QString& folder)
{
    QStringList names;
    DIR* dir = ::opendir(EncodeFileName(folder.isEmpty() ? QStringLiteral(".") : folder).constData());
    if (!dir)
        return names;
    // Read as bytes: a name that is not valid UTF-8 keeps its bytes.
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = DecodeFileName(QByteArray(entry->d_name));
        // Hidden files stay out (such as the "._" companions other systems
        // leave beside pictures), but a picture named only ".jpg" has no other name.
        if (!matchesPattern(name) || (name.startsWith(u'.') && name.size() != 4))
            continue;
        if (notAFolder(::dirfd(dir), entry->d_name))
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

} // namespace ostrovel
