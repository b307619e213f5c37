#include "chooser/PlainIconProvider.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

namespace ostrovel {

PlainIconProvider* PlainIconProvider::instance()
{
    static auto* provider = new PlainIconProvider; // never deleted: see the header
    return provider;
}

PlainIconProvider::PlainIconProvider()
{
    const QStyle* style = QApplication::style();
    m_folder = style->standardIcon(QStyle::SP_DirIcon);
    m_file = style->standardIcon(QStyle::SP_FileIcon);
    m_drive = style->standardIcon(QStyle::SP_DriveHDIcon);
}

QIcon PlainIconProvider::icon(IconType type) const
{
    switch (type) {
    case Folder: return m_folder;
    case Drive:
    case Computer: return m_drive;
    default: return m_file;
    }
}

QIcon PlainIconProvider::icon(const QFileInfo& info) const
{
    if (info.isRoot())
        return m_drive;
    return info.isDir() ? m_folder : m_file;
}

QString PlainIconProvider::type(const QFileInfo& info) const
{
    return info.isDir() ? QStringLiteral("Ordner") : QStringLiteral("Datei");
}

} // namespace ostrovel
