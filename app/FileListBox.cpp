#include "app/FileListBox.h"

#include "export/PictureFiles.h"
#include "common/RuntimeError.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>

namespace ostrovel {

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::clicked, this, &FileListBox::Click);
    m_path = QDir::cleanPath(QDir::currentPath());
    addItems(MatchingPictureFiles(m_path));
    setCurrentRow(-1);
}

void FileListBox::SetPath(const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        throw RuntimeError(76, QStringLiteral("Pfad nicht gefunden"));
    m_path = QDir::cleanPath(info.absoluteFilePath());
    clear();
    addItems(MatchingPictureFiles(m_path));
    setCurrentRow(-1);
}

QString FileListBox::List(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

bool FileListBox::Selected(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry && entry->isSelected();
}

void FileListBox::SetSelected(int index, bool selected)
{
    if (QListWidgetItem* entry = item(index))
        entry->setSelected(selected);
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before)
        Q_EMIT Click();
}

} // namespace ostrovel

namespace ostrovel {

void FileListBox::mousePressEvent(QMouseEvent* event)
{
    m_pressed = indexAt(event->position().toPoint());
    QListWidget::mousePressEvent(event);
}

// Qt counts a click only when press and release hit the same entry; a drag
// that ends on another entry is a click there.
void FileListBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QModelIndex released = indexAt(event->position().toPoint());
    const bool dragged = event->button() == Qt::LeftButton && released.isValid() && released != m_pressed;
    QListWidget::mouseReleaseEvent(event);
    if (!dragged)
        return;
    if (currentIndex() != released) // the entry under the mouse is the current one
        selectionModel()->setCurrentIndex(released, QItemSelectionModel::NoUpdate);
    Q_EMIT Click();
}

} // namespace ostrovel
