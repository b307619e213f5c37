#pragma once
// Renames a folder in the tree in place; a name the file system refuses is
// reported with the reason and the folder keeps its old name.

#include <QStyledItemDelegate>

#include <functional>

namespace ostrovel {

/// Why `name` cannot be given to an entry of `parentPath`, in German; the
/// empty text when nothing speaks against it before trying.
QString RenameProblem(const QString& parentPath, const QString& name);

class RenameDelegate : public QStyledItemDelegate {
public:
    /// `failed` hears the reason of a refused renaming, after the editor has closed.
    RenameDelegate(std::function<void(const QString& reason)> failed, QObject* parent = nullptr);

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    std::function<void(const QString&)> m_failed;
};

} // namespace ostrovel
