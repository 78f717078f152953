#include "win32/MessageLoop.h"

namespace kelvane::win32 {

int runMessageLoop(const std::function<bool(MSG&)>& dialogKeys) {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (dialogKeys(message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void pumpMessagesUntil(const std::function<bool()>& done, ULONGLONG milliseconds) {
    const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
    MSG message{};
    while (!done() && ::GetTickCount64() < deadline) {
        if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            continue;
        }
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace kelvane::win32
