#pragma once
// Helpers of the folder dialog tests: answering the modal dialog, reaching
// the tree's rows by path, and the dialog's options.

#include "chooser/BrowseFolderErweitert.h"
#include "chooser/FolderDialog.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <functional>

using ostrovel::BrowseFolder;
using ostrovel::FolderDialog;
using ostrovel::FolderDialogOptions;

namespace dialogtest {

inline const QString kDeep = QStringLiteral("many/m77/ein_recht_langer_ordnername/zweite_ebene/dritte_ebene/ziel");

enum Answer { OkButton, ReturnKey, KeypadEnter, EscapeKey, CancelButton, CloseWindow };

/// Answers the modal dialog once it is up and has found its start folder (it
/// looks for it off the dialog's thread). If none shows, any visible folder
/// dialog is rejected so that the test fails instead of hanging.
inline void whenModalOpen(const std::function<void(FolderDialog*)>& answer, bool* answered, int tries = 1000)
{
    QTimer::singleShot(10, [answer, answered, tries] {
        auto* dialog = qobject_cast<FolderDialog*>(QApplication::activeModalWidget());
        if (dialog && !dialog->locating()) {
            *answered = true;
            answer(dialog);
        } else if (tries > 0) {
            whenModalOpen(answer, answered, tries - 1);
        } else {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<FolderDialog*>(w))
                    dialog->reject();
        }
    });
}

/// Clicks "Neuen Ordner erstellen" and waits until the folder is made or refused.
inline bool makeNewFolder(FolderDialog& dialog)
{
    QTest::mouseClick(dialog.newFolderButton(), Qt::LeftButton);
    return QTest::qWaitFor([&dialog] { return !dialog.creatingFolder(); }, 30000);
}

inline void give(FolderDialog* d, Answer answer)
{
    switch (answer) {
    case OkButton: QTest::mouseClick(d->okButton(), Qt::LeftButton); break;
    case ReturnKey: QTest::keyClick(d->tree(), Qt::Key_Return); break;
    case KeypadEnter: QTest::keyClick(d->tree(), Qt::Key_Enter, Qt::KeypadModifier); break;
    case EscapeKey: QTest::keyClick(d->tree(), Qt::Key_Escape); break;
    case CancelButton: QTest::mouseClick(d->cancelButton(), Qt::LeftButton); break;
    case CloseWindow: d->close(); break;
    }
    // The choice is confirmed once seen to exist, off the dialog's thread.
    (void)QTest::qWaitFor([d] { return !d->confirming(); }, 10000);
}

inline bool wasLoaded(const QSignalSpy& loaded, const QString& dir)
{
    return std::any_of(loaded.cbegin(), loaded.cend(),
                       [&](const QList<QVariant>& args) { return args.at(0).toString() == dir; });
}

/// The view's index for `path`, through the dialog's filter.
inline QModelIndex viewIndex(const FolderDialog& dialog, const QString& path)
{
    auto* proxy = qobject_cast<QSortFilterProxyModel*>(dialog.tree()->model());
    return proxy->mapFromSource(dialog.fileModel()->index(path));
}

/// The names the tree shows under `path`, in its order.
inline QStringList shownNames(const FolderDialog& dialog, const QString& path)
{
    const QModelIndex parent = viewIndex(dialog, path);
    QStringList names;
    for (int row = 0; row < dialog.tree()->model()->rowCount(parent); ++row)
        names << dialog.tree()->model()->index(row, 0, parent).data().toString();
    return names;
}

inline FolderDialogOptions options(bool includeFiles = false, const QString& root = QString(), bool showStatus = true,
                            bool newStyle = true)
{
    return {QStringLiteral("Ordner wählen"), root, showStatus, newStyle, includeFiles};
}

inline bool showAt(FolderDialog& dialog, const QString& start)
{
    dialog.setCurrentPath(start);
    dialog.show();
    return QTest::qWaitForWindowExposed(&dialog) && QTest::qWaitFor([&] { return !dialog.locating(); }, 10000);
}

} // namespace dialogtest

using namespace dialogtest;
