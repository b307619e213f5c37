#include "chooser/BrowseFolderErweitert.h"

#include "chooser/FolderDialog.h"

#include <QPointer>

namespace ostrovel {

namespace {

/// A title of just "$" is blanked while there is a status line: the status
/// line starts out as that marker, and callers rely on the title never
/// reading like it.
QString dialogTitle(const QString& title, bool showStatus)
{
    return showStatus && title == QLatin1String("$") ? QString() : title;
}

} // namespace

QString BrowseFolder(const QString& title, const QString& startPath, QWidget* owner, bool showStatus,
                     const std::optional<QString>& rootPath, bool newStyle, bool includeFiles)
{
    FolderDialogOptions options;
    options.title = dialogTitle(title, showStatus);
    options.rootPath = rootPath.value_or(QString());
    options.showStatus = showStatus;
    options.newStyle = newStyle;
    options.includeFiles = includeFiles;

    // Held by a guard: the owner may be destroyed while the dialog runs,
    // taking its child dialog with it.
    QPointer<FolderDialog> dialog = new FolderDialog(options, owner);
    dialog->setCurrentPath(startPath);
    const bool confirmed = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return QString();
    const QString path = confirmed ? dialog->selectedPath() : QString();
    delete dialog;
    return path;
}

} // namespace ostrovel
