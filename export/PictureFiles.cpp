#include "export/PictureFiles.h"

#include "common/FileNames.h"

#include <QStringList>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace ostrovel {
namespace {

// The extension `name` ends with among `kinds`, dot included; empty when none.
QLatin1String matchedSuffix(const QString& name, FolderPictures kinds)
{
    static const char* const patterns[] = {".jpg", ".bmp", ".gif", ".wmf"};
    static const char* const others[] = {".png", ".webp", ".tif", ".tiff", ".heic", ".heif", ".avif", ".jxl"};
    for (const char* suffix : patterns)
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return QLatin1String(suffix);
    if (kinds == FolderPictures::AllFormats)
        for (const char* suffix : others)
            if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
                return QLatin1String(suffix);
    return {};
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

QStringList MatchingPictureFiles(const QString& folder, FolderPictures kinds)
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
        const QLatin1String suffix = matchedSuffix(name, kinds);
        if (suffix.isEmpty() || (name.startsWith(u'.') && name.size() != suffix.size()))
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
