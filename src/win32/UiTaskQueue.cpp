#include "win32/UiTaskQueue.h"

namespace kelvane::win32 {

void UiTaskQueue::post(std::function<void()> task) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ::PostMessageW(window_, message_, 0, 0);
}

// One task per message, oldest first, so a task that opens a box cannot let a later one
// overtake an earlier one.
void UiTaskQueue::runNext() {
    std::function<void()> task;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.empty()) {
            return;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
}

}  // namespace kelvane::win32
