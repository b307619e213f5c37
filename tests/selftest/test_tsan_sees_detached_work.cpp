// The ThreadSanitizer set-up's own test: work handed to DetachedWork runs on
// a thread of its own under the sanitizer too, so a data race of ours with
// it must be reported. Run only under the tsan preset.

#include "common/DetachedWork.h"

#include <QCoreApplication>

#include <array>
#include <atomic>
#include <thread>

namespace {

// One deliberate race; several in a row, as the sanitizer may miss one.
struct Round {
    int value = 0; // written by the work, read on the main thread, unguarded
    // Relaxed: they order nothing. The work's thread lives on until the read.
    std::atomic<bool> set{false};
    std::atomic<bool> read{false};
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QObject owner;
    ostrovel::DetachedWork detached(&owner);
    std::array<Round, 20> rounds;
    int delivered = 0;
    int seen = 0;
    for (Round& round : rounds) {
        detached.run<int>(
            [&round] {
                round.value = 1;
                round.set.store(true, std::memory_order_relaxed);
                while (!round.read.load(std::memory_order_relaxed))
                    std::this_thread::yield();
                return 0;
            },
            [&](const int&) {
                if (++delivered == int(rounds.size()))
                    app.quit();
            });
        while (!round.set.load(std::memory_order_relaxed))
            std::this_thread::yield();
        seen += round.value;
        round.read.store(true, std::memory_order_relaxed);
    }
    app.exec();
    return seen == int(rounds.size()) ? 0 : 1;
}
