#include "Detached.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace {

// Never destroyed: its thread waits on it until the process ends.
class Deadlines {
  public:
    static Deadlines& shared() {
        static auto* deadlines = new Deadlines;
        return *deadlines;
    }

    bool add(std::chrono::steady_clock::time_point when, std::function<void()> fire) {
        const std::lock_guard lock(mutex_);
        if (!running_) running_ = startDetached([this] { wait(); });
        if (!running_) return false;
        due_.emplace(when, std::move(fire));
        changed_.notify_one();
        return true;
    }

  private:
    void wait() {
        std::unique_lock lock(mutex_);
        for (;;) {
            while (!due_.empty() && due_.begin()->first <= std::chrono::steady_clock::now()) {
                std::function<void()> fire = std::move(due_.begin()->second);
                due_.erase(due_.begin());
                lock.unlock();
                fire();
                lock.lock();
            }
            if (due_.empty())
                changed_.wait(lock);
            else
                changed_.wait_until(lock, due_.begin()->first);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> due_;
    bool running_ = false;
};

} // namespace

void afterDelay(std::chrono::steady_clock::duration delay, std::function<void()> fire) {
    if (!Deadlines::shared().add(std::chrono::steady_clock::now() + delay, fire)) fire();
}

struct WorkThread::Shared {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> work;
    bool running = false;
    bool ownerGone = false;

    void serve() {
        std::unique_lock lock(mutex);
        for (;;) {
            posted.wait(lock, [&] { return !work.empty() || ownerGone; });
            if (work.empty()) return;
            std::function<void()> next = std::move(work.front());
            work.pop_front();
            lock.unlock();
            next();
            next = nullptr; // what it holds goes before the next wait
            lock.lock();
        }
    }
};

WorkThread::WorkThread() : shared_(std::make_shared<Shared>()) {}

WorkThread::~WorkThread() {
    const std::lock_guard lock(shared_->mutex);
    shared_->ownerGone = true;
    shared_->posted.notify_one();
}

bool WorkThread::post(std::function<void()> work) noexcept {
    const std::lock_guard lock(shared_->mutex);
    if (!shared_->running)
        shared_->running = startDetached([shared = shared_] { shared->serve(); });
    if (!shared_->running) return false;
    try {
        shared_->work.push_back(std::move(work));
    } catch (const std::bad_alloc&) {
        return false;
    }
    shared_->posted.notify_one();
    return true;
}
