#include "app/FolderLister.h"

#include "export/PictureFiles.h"

#include <QFileInfo>

namespace ostrovel {
namespace {

FolderListFunction& listFunction()
{
    static FolderListFunction list;
    return list;
}

} // namespace

FolderListing ListPictureFolder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return FolderListing{path, false, {}};
    return FolderListing{path, true, MatchingPictureFiles(path)};
}

void SetFolderListFunction(FolderListFunction list)
{
    listFunction() = std::move(list);
}

FolderLister::FolderLister(QObject* parent) : QObject(parent) {}

void FolderLister::list(const QString& path)
{
    const int generation = ++m_generation;
    m_pending = true;
    const FolderListFunction list = listFunction() ? listFunction() : FolderListFunction(&ListPictureFolder);
    m_work.run<FolderListing>([list, path] { return list(path); },
                              [this, generation](const FolderListing& listing) { landed(generation, listing); });
}

void FolderLister::landed(int generation, const FolderListing& listing)
{
    if (generation != m_generation)
        return; // overtaken by a newer choice
    m_pending = false;
    Q_EMIT listed(listing);
}

} // namespace ostrovel
