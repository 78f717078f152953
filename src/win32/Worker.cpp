#include "win32/Worker.h"

namespace kelvane::win32 {

void Worker::run(std::function<void()> job) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) {
        stopping_ = false;
        thread_ = std::thread([this] { serve(); });
    }
    jobs_.push_back(std::move(job));
    wake_.notify_one();
}

void Worker::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        jobs_.clear();
        wake_.notify_one();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool Worker::busy() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return working_ || !jobs_.empty();
}

void Worker::serve() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
            working_ = true;
        }
        job();
        const std::lock_guard<std::mutex> lock(mutex_);
        working_ = false;
    }
}

}  // namespace kelvane::win32
