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

RenameDelegate::RenameDelegate(std::function<void(const QString& reason)> failed, QObject* parent)
    : QStyledItemDelegate(parent), m_failed(std::move(failed))
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
    const QString path = index.data(QFileSystemModel::FilePathRole).toString();
    QString reason = RenameProblem(QFileInfo(path).path(), name);
    if (reason.isEmpty()) {
        errno = 0;
        if (model->setData(index, name, Qt::EditRole))
            return;
        reason = GermanReason(errno != 0 ? errno : EINVAL);
    }
    // Told once the editor is gone: a message box now would take its focus
    // away in the middle of closing it.
    QTimer::singleShot(0, this, [failed = m_failed, reason] {
        if (failed)
            failed(reason);
    });
}

} // namespace ostrovel
