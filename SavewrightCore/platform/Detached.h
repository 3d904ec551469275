#pragma once
// Starting work on a thread of its own that nobody joins. A thread that cannot
// be had (the system is out of them) is reported, never thrown into the caller,
// which is often a timer slot of the event loop.

#include <chrono>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

inline bool startDetached(std::function<void()> work) noexcept {
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Runs `work` on a thread of its own and waits for it; false when no thread
// could be had.
inline bool runJoined(const std::function<void()>& work) noexcept {
    try {
        std::thread(work).join();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Runs `there` on a thread of its own while `here` runs on this one, and waits
// for both; one after the other on this thread when no thread could be had.
inline void runAlongside(const std::function<void()>& there,
                         const std::function<void()>& here) noexcept {
    std::thread other;
    try {
        other = std::thread(there);
    } catch (const std::system_error&) {
        there();
    }
    here();
    if (other.joinable()) other.join();
}

// One thread of its own that runs the work posted to it in turn, so work that
// comes often does not pay for a new thread each time. Nobody joins it: work
// that hangs (on a server that stopped answering) holds up only the work
// behind it, never its owner, and the thread ends once its owner is gone and
// its work is done.
class WorkThread {
  public:
    WorkThread();
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;
    // False when no thread could be had.
    bool post(std::function<void()> work) noexcept;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// Runs `fire` `delay` from now on the one thread that waits for every such
// deadline, instead of a sleeping thread each; at once on this thread should
// that thread not be had.
void afterDelay(std::chrono::steady_clock::duration delay, std::function<void()> fire);
