// A kernel handle owned by type: closed exactly once, when its owner goes.
// Each kind of handle has a close of its own.
#pragma once

#include <windows.h>

#include <memory>

namespace dormivel {

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

// A folder's change notification.
struct ChangeNotificationCloser {
    void operator()(HANDLE handle) const noexcept { FindCloseChangeNotification(handle); }
};

// A wait registered on the thread pool. Unregistering waits for a callback
// that is running to return, so nothing runs for the owner after it goes.
struct WaitUnregisterer {
    void operator()(HANDLE wait) const noexcept { UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
};

using UniqueHandle = std::unique_ptr<void, HandleCloser>;
using UniqueChangeNotification = std::unique_ptr<void, ChangeNotificationCloser>;
using UniqueWait = std::unique_ptr<void, WaitUnregisterer>;

// Takes over a handle as the platform returns it; INVALID_HANDLE_VALUE,
// which some calls return for no handle, becomes an empty owner.
template <typename Closer = HandleCloser>
std::unique_ptr<void, Closer> ownHandle(HANDLE handle) {
    return std::unique_ptr<void, Closer>(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace dormivel
