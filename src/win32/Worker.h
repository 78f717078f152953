#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kelvane::win32 {

// One thread, started on first use, that runs the jobs given to it in order. Kept for
// the whole run: auto sync every second would otherwise make and end a thread a second.
class Worker {
  public:
    Worker() = default;
    ~Worker() { stop(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void run(std::function<void()> job);
    // Finishes the job under way, drops any not begun, and ends the thread.
    void stop();
    // True while a job is under way or waiting.
    bool busy() const;

  private:
    void serve();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    bool working_ = false;
    std::thread thread_;
};

}  // namespace kelvane::win32
