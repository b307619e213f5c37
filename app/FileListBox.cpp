#include "app/FileListBox.h"

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
    m_lister = new FolderLister(this);
    connect(m_lister, &FolderLister::listed, this, &FileListBox::listed);
    m_path = QDir::cleanPath(QDir::currentPath());
    m_lister->list(m_path);
}

void FileListBox::SetPath(const QString& path)
{
    if (path.isEmpty())
        return;
    m_launchListing = false;
    m_lister->list(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

void FileListBox::holdListing(bool hold)
{
    m_held = hold;
    if (!hold && m_waiting) {
        const FolderListing listing = *m_waiting;
        m_waiting.reset();
        apply(listing);
    }
}

void FileListBox::listed(const FolderListing& listing)
{
    if (m_held)
        m_waiting = listing;
    else
        apply(listing);
}

void FileListBox::apply(const FolderListing& listing)
{
    if (!listing.readable && !m_launchListing) {
        Q_EMIT pathRefused(listing.path);
        return;
    }
    m_path = listing.path;
    clear();
    addItems(listing.names);
    setCurrentRow(-1);
    Q_EMIT pathShown();
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
