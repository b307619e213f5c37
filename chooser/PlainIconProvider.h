#pragma once
// Icons and type names for the folder tree from the file's kind alone: no
// file is opened or read to find its type (a pipe or a file of /proc blocks
// its reader, and a slow mount makes every read slow).

#include <QAbstractFileIconProvider>
#include <QIcon>

namespace ostrovel {

class PlainIconProvider : public QAbstractFileIconProvider {
public:
    /// One provider for every dialog, made on first use on the window's
    /// thread and kept to the end: the model's worker thread may still ask
    /// it while a dialog is torn down.
    static PlainIconProvider* instance();

    QIcon icon(IconType type) const override;
    /// A folder or a file icon, from the file's kind as stat() reports it.
    QIcon icon(const QFileInfo& info) const override;
    /// "Ordner" or "Datei", never a MIME type.
    QString type(const QFileInfo& info) const override;

private:
    PlainIconProvider();
    QIcon m_folder;
    QIcon m_file;
    QIcon m_drive;
};

} // namespace ostrovel
