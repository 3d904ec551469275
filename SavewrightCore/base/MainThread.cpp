#include "MainThread.h"

#include <QSocketNotifier>

#include <cstdint>
#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Work waits here under a mutex and the main thread is woken through an
// eventfd, instead of Qt's posted events: a mutex and a descriptor are seen by
// every race detector, Qt's own queue is not (it locks with bare futexes).
struct Mailbox {
    std::mutex mutex;
    std::deque<std::function<void()>> work;
    bool open = false; // while the application object lives
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    void ring() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }
};

// Never destroyed: threads may post until the process ends.
Mailbox& mailbox() {
    static Mailbox* const m = new Mailbox;
    return *m;
}

void closeWithApplication() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(mailbox().mutex);
    mailbox().open = false;
    dropped.swap(mailbox().work);
}

void openWithApplication() {
    Mailbox& m = mailbox();
    if (m.wake < 0) return;
    auto* notifier =
        new QSocketNotifier(m.wake, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, &runPostedToMain);
    {
        std::lock_guard lock(m.mutex);
        m.open = true;
    }
    qAddPostRoutine(closeWithApplication);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(openWithApplication)

void postToMain(std::function<void()> work) {
    Mailbox& m = mailbox();
    std::unique_lock lock(m.mutex);
    if (!m.open) return; // no application to run it: dropped, as Qt drops it
    m.work.push_back(std::move(work));
    const bool first = m.work.size() == 1;
    lock.unlock();
    if (first) m.ring();
}

void runPostedToMain() {
    Mailbox& m = mailbox();
    std::uint64_t rings = 0;
    [[maybe_unused]] const ssize_t n = ::read(m.wake, &rings, sizeof rings);
    std::unique_lock lock(m.mutex);
    // Only what was there at the start, so work that posts work cannot keep
    // the event loop from timers and input; the rest rings again.
    for (std::size_t left = m.work.size(); left > 0 && !m.work.empty(); --left) {
        std::function<void()> next = std::move(m.work.front());
        m.work.pop_front();
        lock.unlock();
        next();
        next = nullptr; // what it held is let go here, on the main thread
        lock.lock();
    }
    if (!m.work.empty()) m.ring();
}
