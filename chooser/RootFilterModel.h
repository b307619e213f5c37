#pragma once
// Keeps the folder tree on the line from the file system's top down to one
// root folder, so that the root itself is the tree's only top item.

#include <QSortFilterProxyModel>
#include <QString>

namespace ostrovel {

/// True when `path` is `root` or lies below it. Both are clean absolute
/// paths; the root "/" holds every path.
bool isAtOrBelow(const QString& path, const QString& root);

/// True when `path` lies on the way down to `root` (an ancestor of it), is
/// `root` itself, or lies below it. Both are clean absolute paths; the root
/// "/" admits every path.
bool isOnRootLine(const QString& path, const QString& root);

/// Proxy over a QFileSystemModel that shows only rows on the line to the
/// root folder (isOnRootLine) and only the name column.
class RootFilterModel : public QSortFilterProxyModel {
public:
    /// `root` is a clean absolute folder path; "/" filters out nothing.
    explicit RootFilterModel(const QString& root, QObject* parent = nullptr);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;

private:
    QString m_root;
};

} // namespace ostrovel
