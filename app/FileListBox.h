#pragma once
// The file list: the pictures of one folder, with extended selection.

#include "app/FolderLister.h"

#include <QListWidget>
#include <QStringList>

#include <optional>

namespace ostrovel {

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    /// Starts at the process's current folder, listed in the background.
    explicit FileListBox(QWidget* parent = nullptr);

    /// The folder the list shows, absolute and without a trailing "/" (but "/").
    QString Path() const { return m_path; }
    /// Shows the matching files of `path` once they are listed off the
    /// window's thread (pathShown); until then the list shows what it showed.
    /// A newer call wins. The empty text leaves the list as it is; a folder
    /// that cannot be read leaves it too and is reported by pathRefused.
    void SetPath(const QString& path);
    /// True while a folder is being listed.
    bool listingPending() const { return m_lister->pending() || m_waiting.has_value(); }
    /// While held, a finished listing waits instead of replacing the entries
    /// (an export is reading them); releasing shows it.
    void holdListing(bool hold);

    int ListCount() const { return count(); }
    /// The name of entry `index`; the empty text outside the list.
    QString List(int index) const;
    /// The current entry (last clicked or moved to); -1 when there is none.
    int ListIndex() const { return currentRow(); }
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);

Q_SIGNALS:
    /// A click on an entry, or a change of the current entry by keyboard.
    void Click();
    /// A folder's listing has replaced the entries; Path() is that folder.
    void pathShown();
    /// The folder given to SetPath cannot be read; nothing changed.
    void pathRefused(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void listed(const FolderListing& listing);
    void apply(const FolderListing& listing);

    QString m_path;
    FolderLister* m_lister = nullptr;
    bool m_launchListing = true; // the start folder: shown even when unreadable (then empty)
    bool m_held = false;
    std::optional<FolderListing> m_waiting; // finished while held
    QPersistentModelIndex m_pressed; // where the last press landed
};

} // namespace ostrovel
