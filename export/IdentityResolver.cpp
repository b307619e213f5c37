#include "export/IdentityResolver.h"

#include <QDir>
#include <QFileInfo>

#include <new>
#include <system_error>
#include <thread>

namespace ostrovel {
namespace {

// Where a file to be written will be: its folder resolved, its own name kept
// (a symbolic link there is replaced, not followed).
QString outputIdentity(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// Where a file to be read really is: every link on the way resolved, the
// file's own too, even when it points at a thumbnail not written yet.
QString sourceIdentity(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            return resolved;
        info = QFileInfo(info.symLinkTarget()); // dangling: where it will point
    }
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? outputIdentity(info.filePath()) : resolved;
}

} // namespace

IdentityResolver::IdentityResolver(std::function<void(int task)> beforeIdentity, Resolved resolved)
    : m_beforeIdentity(std::move(beforeIdentity)), m_resolved(std::move(resolved))
{
}

void IdentityResolver::start()
{
    try {
        std::thread([self = shared_from_this()] { self->loop(); }).detach();
        m_threaded = true;
    } catch (const std::system_error&) {
        // resolved on the caller's thread, as they are given
    }
}

void IdentityResolver::give(int index, ExportTask task)
{
    if (!m_threaded) {
        resolve(Pending{index, std::move(task)});
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(Pending{index, std::move(task)});
    }
    m_given.notify_one();
}

void IdentityResolver::abandon()
{
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_given.notify_one();
}

void IdentityResolver::resolve(Pending p)
{
    QString sourceId = p.task.source;
    QString outputId = p.task.output;
    try {
        if (m_beforeIdentity)
            m_beforeIdentity(p.index);
        sourceId = sourceIdentity(p.task.source);
        outputId = outputIdentity(p.task.output);
    } catch (const std::bad_alloc&) {
        // the paths as given: the rendering will run out of memory too
    }
    std::lock_guard lock(m_mutex);
    if (!m_abandoned)
        m_resolved(std::move(p.task), sourceId, outputId);
}

void IdentityResolver::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_given.wait(lock, [this] { return m_abandoned || !m_pending.empty(); });
        if (m_abandoned)
            return;
        Pending p = std::move(m_pending.front());
        m_pending.pop_front();
        lock.unlock();
        resolve(std::move(p));
        lock.lock();
    }
}

} // namespace ostrovel
