#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace kelvane::win32 {

// Work handed to the UI thread from any thread: queued here, and run one task per posted
// message by the window's thread.
class UiTaskQueue {
  public:
    UiTaskQueue(HWND window, UINT message) : window_(window), message_(message) {}

    // Any thread.
    void post(std::function<void()> task);
    // The window's thread, once per posted message.
    void runNext();

  private:
    HWND window_;
    UINT message_;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace kelvane::win32
