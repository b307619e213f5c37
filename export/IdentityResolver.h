#pragma once
// Where the files of an export really are, told off the calling thread.

#include "export/ExportJob.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace ostrovel {

/// Resolves each task's source and output to the files they really are:
/// file-system calls that a slow or hung mount can hold for as long as it
/// likes. They run, in the order given, on a thread of its own that an
/// ended export abandons rather than waits for; it owns everything it uses.
class IdentityResolver : public std::enable_shared_from_this<IdentityResolver> {
public:
    /// Called on the resolver's thread, in the order tasks were given.
    using Resolved = std::function<void(ExportTask task, const QString& sourceId, const QString& outputId)>;

    IdentityResolver(std::function<void(int task)> beforeIdentity, Resolved resolved);

    /// Starts the thread; without one to be had, give() resolves on the
    /// caller's thread instead.
    void start();
    /// Queues task number `index`; never waits for a resolution under way.
    void give(int index, ExportTask task);
    /// After this returns, `resolved` is never called again.
    void abandon();

private:
    struct Pending {
        int index = 0;
        ExportTask task;
    };
    void resolve(Pending p);
    void loop();

    const std::function<void(int)> m_beforeIdentity;
    const Resolved m_resolved;
    std::mutex m_mutex;
    std::condition_variable m_given;
    std::deque<Pending> m_pending;
    bool m_threaded = false;
    bool m_abandoned = false;
};

} // namespace ostrovel
