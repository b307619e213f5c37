#include "FileListBox.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <algorithm>

namespace ostrovel {

const QStringList FileListBox::kPatterns = {QStringLiteral("*.jpg"), QStringLiteral("*.bmp"),
                                            QStringLiteral("*.gif"), QStringLiteral("*.wmf")};

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::clicked, this, &FileListBox::Click);
    m_path = QDir::cleanPath(QDir::currentPath());
    addItems(MatchingFiles(m_path));
    setCurrentRow(-1);
}

QStringList FileListBox::MatchingFiles(const QString& folder)
{
    QDir dir(folder);
    dir.setNameFilters(kPatterns);
    dir.setFilter(QDir::Files | QDir::NoDotAndDotDot); // no hidden files, no folders
    dir.setSorting(QDir::Unsorted);
    QStringList names = dir.entryList();
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
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
    addItems(MatchingFiles(m_path));
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
