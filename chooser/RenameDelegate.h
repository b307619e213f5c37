#pragma once
// Renames a folder in the tree in place: the editor's name is handed to the
// dialog, which renames off its thread and reports a refusal with the reason.

#include <QStyledItemDelegate>

#include <functional>

namespace ostrovel {

/// Why `name` cannot be given to an entry of `parentPath`, in German; the
/// empty text when nothing speaks against it before trying. Asks the file
/// system: call it off the window's thread.
QString RenameProblem(const QString& parentPath, const QString& name);

class RenameDelegate : public QStyledItemDelegate {
public:
    /// Asked to give the entry at `path` the name `name`.
    using RenameRequest = std::function<void(const QString& path, const QString& name)>;

    /// `rename` hears each changed name once its editor closes.
    explicit RenameDelegate(RenameRequest rename, QObject* parent = nullptr);

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    RenameRequest m_rename;
};

} // namespace ostrovel
