#pragma once
// The modal folder dialog behind BrowseFolder: instruction text, folder tree,
// optional status line, optional "Neuen Ordner erstellen", OK and cancel.

#include "common/DetachedWork.h"

#include <QDialog>
#include <QFileInfo>
#include <QString>

#include <functional>

class QFileSystemModel;
class QLabel;
class QModelIndex;
class QPushButton;
class QTimer;
class QTreeView;

namespace ostrovel {

class RootFilterModel;

/// How one folder dialog looks and what it lists.
struct FolderDialogOptions {
    QString title;              ///< instruction text above the tree, shown as given
    QString rootPath;           ///< top folder of the tree; empty: the whole file system
    bool showStatus = false;    ///< one-line status text naming the selection
    bool newStyle = false;      ///< resizable, with "Neuen Ordner erstellen"
    bool includeFiles = false;  ///< list files as well as folders
};

/// The folder dialog. Run it with exec() (BrowseFolder does) or open()/show();
/// after acceptance selectedPath() is the chosen item's path.
class FolderDialog : public QDialog {
    Q_OBJECT

public:
    /// Tells the user why something failed: a main text and the reason.
    using MessageSink = std::function<void(const QString& text, const QString& reason)>;

    /// Builds the dialog; nothing is selected until setCurrentPath().
    explicit FolderDialog(const FolderDialogOptions& options, QWidget* parent = nullptr);
    ~FolderDialog() override;

    /// Selects `path` and scrolls it into view, expanding the folders above
    /// it, once the file system has told what it is (asked off the dialog's
    /// thread; the user's own choice meanwhile wins). An empty or missing
    /// path, one outside the root, or a file while files are not listed
    /// clears the selection instead.
    void setCurrentPath(const QString& path);
    /// True from setCurrentPath() until its path is selected or refused.
    bool locating() const { return m_locating; }

    /// The selected item's path exactly as the file-system model spells it
    /// ("/" for the top); empty when nothing is selected.
    QString selectedPath() const;

    /// The folder at the top of the tree: a clean absolute path, "/" when unrestricted.
    QString rootPath() const;

    QTreeView* tree() const;              ///< the folder tree (has the focus at open)
    QFileSystemModel* fileModel() const;  ///< the model under the tree's filter
    QLabel* instructionLabel() const;     ///< the title text above the tree
    QLabel* statusLabel() const;          ///< the status line; nullptr without one
    QPushButton* okButton() const;        ///< "OK", the default button
    QPushButton* cancelButton() const;    ///< "Abbrechen"
    QPushButton* newFolderButton() const; ///< "Neuen Ordner erstellen"; nullptr without newStyle

    /// Replaces the message box (tests read the messages).
    void setMessageSink(MessageSink sink) { m_messages = std::move(sink); }

    /// Makes the folder `path`: 0, or the system's error number. Runs off
    /// the dialog's thread.
    using MakeFolderFunction = std::function<int(const QString& path)>;
    /// Replaces how folders are made (tests slow it down).
    void setMakeFolderFunction(MakeFolderFunction make) { m_makeFolder = std::move(make); }
    /// True from "Neuen Ordner erstellen" until its folder is made or refused.
    bool creatingFolder() const { return m_creatingFolder; }

    /// Gives the entry `from` the path `to`, never replacing one: 0, or the
    /// system's error number. Runs off the dialog's thread.
    using RenameFunction = std::function<int(const QString& from, const QString& to)>;
    /// Replaces how entries are renamed (tests slow it down).
    void setRenameFunction(RenameFunction rename) { m_rename = std::move(rename); }

public Q_SLOTS:
    /// Creates "Neuer Ordner" (or the first free "Neuer Ordner (n)") in the
    /// selected folder, or beside a selected file, or in the root when nothing
    /// is selected, off the dialog's thread (a slow mount must not hold it);
    /// once made, selects it and starts renaming it. When the folder cannot
    /// be made, says why and leaves the dialog as it was.
    void createFolder();

    /// Confirms the selection once it is seen to exist, asked off the
    /// dialog's thread; when it has vanished since it was chosen, says so and
    /// stays open. Abbrechen still works while the answer is awaited.
    void accept() override;
    void done(int result) override;
    /// True from OK until the choice is seen to exist or not.
    bool confirming() const { return m_confirming; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct MadeFolder {
        QString path;
        int errnum = 0;
    };
    void folderMade(const MadeFolder& made);
    struct Renamed {
        QString from;
        QString to;
        QString reason; // why not; empty when renamed
        QFileInfo info; // of `to`, asked off the dialog's thread
    };
    struct Located {
        QString path; // clean, absolute
        bool isDir = false;
    };
    void located(const Located& place);
    void confirmed(const QString& path, bool exists);
    void rename(const QString& path, const QString& name);
    void renamed(const Renamed& result);
    void buildModel(const FolderDialogOptions& options);
    void buildWidgets(const FolderDialogOptions& options);
    QLayout* buildButtonRow(bool newStyle);
    void connectSignals();
    void updateSelectionState();
    void updateStatusLine();
    void keepSelectionInView();
    void scrollToSelection();
    QModelIndex selectedSourceIndex() const;
    void report(const QString& text, const QString& reason);

    QString m_rootPath;
    bool m_includeFiles = false;
    QFileSystemModel* m_model = nullptr;
    RootFilterModel* m_proxy = nullptr;
    QLabel* m_instruction = nullptr;
    QTreeView* m_tree = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_newFolder = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    // The folders above the start selection are listed and sorted in the
    // background, pushing it out of view; it is scrolled to again after each
    // change until the user takes over the tree.
    bool m_followSelection = false;
    QTimer* m_scrollTimer = nullptr;
    MessageSink m_messages;
    MakeFolderFunction m_makeFolder;
    bool m_creatingFolder = false;
    RenameFunction m_rename;
    bool m_locating = false;
    int m_locateRequest = 0; // the latest setCurrentPath(); user input ends it too
    bool m_confirming = false;
    bool m_renaming = false; // from the end of an in-place renaming until it is done or refused
    DetachedWork m_work{this};
};

} // namespace ostrovel
