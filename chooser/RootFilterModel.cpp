#include "chooser/RootFilterModel.h"

#include <QFileSystemModel>

namespace ostrovel {

namespace {

bool isBelow(const QString& inner, const QString& outer)
{
    if (outer == QLatin1String("/"))
        return inner.size() > 1 && inner.startsWith(QLatin1Char('/'));
    return inner.size() > outer.size() && inner.startsWith(outer)
        && inner.at(outer.size()) == QLatin1Char('/');
}

} // namespace

bool isAtOrBelow(const QString& path, const QString& root)
{
    return path == root || isBelow(path, root);
}

bool isOnRootLine(const QString& path, const QString& root)
{
    return isAtOrBelow(path, root) || isBelow(root, path);
}

RootFilterModel::RootFilterModel(const QString& root, QObject* parent)
    : QSortFilterProxyModel(parent), m_root(root)
{
}

bool RootFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_root == QLatin1String("/"))
        return true;
    const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
    return isOnRootLine(files->filePath(files->index(sourceRow, 0, sourceParent)), m_root);
}

bool RootFilterModel::filterAcceptsColumn(int sourceColumn, const QModelIndex&) const
{
    // Size, type and date say nothing about which folder to choose.
    return sourceColumn == 0;
}

} // namespace ostrovel
