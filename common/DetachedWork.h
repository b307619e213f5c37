#pragma once
// Work that a slow or hung file system may hold, run off an object's thread
// and never waited for: its result reaches the object only while it lives.

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace ostrovel {

/// Hands results of detached work to one QObject's thread. The owner keeps
/// it and closes it in its destructor; work still running then is abandoned.
class DetachedWork {
public:
    explicit DetachedWork(QObject* owner) : m_box(std::make_shared<Box>()) { m_box->owner = owner; }
    ~DetachedWork() { close(); }
    DetachedWork(const DetachedWork&) = delete;
    DetachedWork& operator=(const DetachedWork&) = delete;

    /// After this, no result is delivered any more.
    void close()
    {
        std::lock_guard lock(handOverMutex());
        m_box->owner = nullptr;
    }

    /// Runs `work` on a thread of its own, then `done` with its result on the
    /// owner's thread through its event loop, unless closed before. Without a
    /// thread to be had, `work` runs here; `done` is still queued.
    template <typename T>
    void run(std::function<T()> work, std::function<void(const T&)> done)
    {
        auto job = [box = m_box, work = std::move(work), done = std::move(done)] {
            T result = work();
            // The queued call is built and posted under the lock, and runs
            // only after taking it: what this thread wrote reaches the owner's
            // through a lock ThreadSanitizer sees, not only through Qt's event
            // queue (Qt is not built with it). An owner deleted before the
            // call runs drops it with its events, after close() took the lock.
            std::lock_guard lock(handOverMutex());
            if (box->owner)
                QMetaObject::invokeMethod(
                    box->owner,
                    [done, result] {
                        { const std::lock_guard takeOver(handOverMutex()); }
                        done(result);
                    },
                    Qt::QueuedConnection);
        };
        try {
            std::thread(job).detach();
        } catch (const std::system_error&) {
            job();
        }
    }

private:
    struct Box {
        QObject* owner = nullptr; ///< guarded by handOverMutex()
    };

    /// One for all owners: held only while a result is posted or taken over.
    static std::mutex& handOverMutex()
    {
        static std::mutex mutex;
        return mutex;
    }

    std::shared_ptr<Box> m_box;
};

} // namespace ostrovel
