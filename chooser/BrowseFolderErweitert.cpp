#include "BrowseFolderErweitert.h"

#include "FolderDialog.h"

#include <QFontMetrics>
#include <QPointer>

#include <algorithm>
#include <climits>

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

QString StatusLineText(const QString& path, int statusLineWidth, const QFontMetrics& metrics)
{
    if (path.isEmpty())
        return QString();
    const QString caption = QStringLiteral("Auswahl: ");
    // The path may run 80 px past the room beside the caption; widened in
    // 64 bits so that a huge label width cannot overflow.
    const long long available = static_cast<long long>(statusLineWidth)
        - metrics.horizontalAdvance(caption) + 80;
    const int width = static_cast<int>(std::clamp<long long>(available, INT_MIN, INT_MAX));
    QString shortened = metrics.elidedText(path, Qt::ElideMiddle, width);
    // Qt returns "" only when not even the ellipsis fits (a bare "…" is a
    // real, if extreme, shortening and is kept). "" means the shortening
    // failed, and then the whole path follows the caption.
    if (shortened.isEmpty())
        shortened = path;
    return caption + shortened;
}

} // namespace ostrovel
