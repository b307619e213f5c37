#pragma once
// Lists a picture folder on a thread of its own: a slow or hung mount must
// never hold up the window. The newest request wins; a listing that never
// returns is abandoned, never waited for.

#include "common/DetachedWork.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace ostrovel {

/// What one listing of a folder found.
struct FolderListing {
    QString path;          ///< the folder, absolute and clean
    bool readable = false; ///< a folder that may be listed; false: names is empty
    QStringList names;     ///< MatchingPictureFiles of the folder
};

/// Lists `path` (absolute and clean): the file-system calls a slow mount can hold.
using FolderListFunction = std::function<FolderListing(const QString& path)>;

/// The listing the file list shows: whether `path` is a readable folder, and its pictures.
FolderListing ListPictureFolder(const QString& path);

/// Replaces how every folder is listed from now on (tests slow it down);
/// an empty function restores ListPictureFolder. Call on the window's thread.
void SetFolderListFunction(FolderListFunction list);

class FolderLister : public QObject {
    Q_OBJECT
public:
    explicit FolderLister(QObject* parent = nullptr);
    /// Listings still running are abandoned: their results are never delivered.

    /// Lists `path` (absolute and clean) off this thread; earlier requests'
    /// results are dropped. Their threads run on until the file system answers.
    void list(const QString& path);

    /// True from list() until the newest request's result has been delivered.
    bool pending() const { return m_pending; }

Q_SIGNALS:
    /// The newest request's result.
    void listed(const FolderListing& listing);

private:
    void landed(int generation, const FolderListing& listing);

    DetachedWork m_work{this};
    int m_generation = 0;
    bool m_pending = false;
};

} // namespace ostrovel
