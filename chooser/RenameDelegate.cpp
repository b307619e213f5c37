#include "chooser/RenameDelegate.h"

#include "chooser/GermanReason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace ostrovel {

QString RenameProblem(const QString& parentPath, const QString& name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Der Name darf nicht leer sein");
    if (name.contains(u'/'))
        return QStringLiteral("Der Name darf kein \u201E/\u201C enthalten");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return GermanReason(EINVAL);
    const long nameMax = pathconf(QFile::encodeName(parentPath).constData(), _PC_NAME_MAX);
    if (QFile::encodeName(name).size() > (nameMax > 0 ? nameMax : 255))
        return GermanReason(ENAMETOOLONG);
    if (QFileInfo(QDir(parentPath).filePath(name)).exists() || QFileInfo(QDir(parentPath).filePath(name)).isSymLink())
        return GermanReason(EEXIST);
    return QString();
}

RenameDelegate::RenameDelegate(RenameRequest rename, QObject* parent)
    : QStyledItemDelegate(parent), m_rename(std::move(rename))
{
}

void RenameDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    const auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    const QString name = edit->text();
    if (name == index.data(Qt::EditRole).toString())
        return;
    // Queued: the editor closes first; a message box now would take its
    // focus away in the middle of closing it.
    QTimer::singleShot(0, this, [rename = m_rename, path = index.data(QFileSystemModel::FilePathRole).toString(), name] {
        if (rename)
            rename(path, name);
    });
}

} // namespace ostrovel
