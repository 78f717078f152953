// A COM interface pointer released when it goes out of scope, for the Windows parts that
// ask the shell for its objects (the Recycle Bin, the file dialog).
#pragma once

#include <unknwn.h>

namespace kelvane::platform::windows {

template <typename Interface>
class ComPointer {
  public:
    ComPointer() = default;
    ~ComPointer() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    // Where a call that makes the object puts it.
    Interface** out() { return &pointer_; }
    void** outVoid() { return reinterpret_cast<void**>(&pointer_); }

  private:
    Interface* pointer_ = nullptr;
};

}  // namespace kelvane::platform::windows
