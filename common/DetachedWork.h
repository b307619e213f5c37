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
        std::lock_guard lock(m_box->mutex);
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
            std::lock_guard lock(box->mutex);
            // Queued: an owner deleted before it runs drops it with its events.
            if (box->owner)
                QMetaObject::invokeMethod(box->owner, [done, result] { done(result); }, Qt::QueuedConnection);
        };
#if defined(__SANITIZE_THREAD__)
        // Qt's event queue hands the result over through locks ThreadSanitizer
        // cannot see (Qt is not built with it), and the queued call is made in
        // our code: under it the work runs here, so the threaded tests check
        // everything else.
        job();
#else
        try {
            std::thread(job).detach();
        } catch (const std::system_error&) {
            job();
        }
#endif
    }

private:
    struct Box {
        std::mutex mutex;
        QObject* owner = nullptr;
    };
    std::shared_ptr<Box> m_box;
};

} // namespace ostrovel
