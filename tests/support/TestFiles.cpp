#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace ostrovel::test {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool isRegularFile(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

quint64 addressSpaceInUse()
{
    const QByteArray status = readFile(QStringLiteral("/proc/self/status"));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmSize:")) // "VmSize:   123456 kB"
            return line.mid(7).trimmed().split(' ').first().toULongLong() * 1024;
    }
    return 0;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace ostrovel::test
