// The ThreadSanitizer set-up's own test: a data race of ours on a Qt pool
// thread must be reported, whatever tests/tsan.supp says about Qt. Run only
// under the tsan preset.

#include <QThreadPool>

#include <atomic>
#include <thread>

int main()
{
    int value = 0;                // written on the pool, read here, unguarded
    std::atomic<bool> set{false}; // relaxed: orders nothing
    QThreadPool::globalInstance()->start([&] {
        value = 1;
        set.store(true, std::memory_order_relaxed);
    });
    while (!set.load(std::memory_order_relaxed))
        std::this_thread::yield();
    const int seen = value;
    QThreadPool::globalInstance()->waitForDone();
    return seen == 1 ? 0 : 1;
}
