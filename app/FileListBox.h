#pragma once
// The file list: the pictures of one folder, with extended selection.

#include <QListWidget>
#include <QStringList>

namespace ostrovel {

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    /// Starts at the process's current folder.
    explicit FileListBox(QWidget* parent = nullptr);

    /// The folder the list shows, absolute and without a trailing "/" (but "/").
    QString Path() const { return m_path; }
    /// Shows the matching files of `path`. The empty text leaves the list as
    /// it is; a folder that cannot be read throws RuntimeError 76.
    void SetPath(const QString& path);

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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_path;
    QPersistentModelIndex m_pressed; // where the last press landed
};

} // namespace ostrovel
