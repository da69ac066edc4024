// A kernel handle owned by type: closed exactly once, when its owner goes.
#pragma once

#include <windows.h>

#include <memory>

namespace dormivel {

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Takes over a handle as the platform returns it; INVALID_HANDLE_VALUE,
// which some calls return for no handle, becomes an empty owner.
inline UniqueHandle ownHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// A folder's change notification, which has a close of its own.
struct ChangeNotificationCloser {
    void operator()(HANDLE handle) const noexcept {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) FindCloseChangeNotification(handle);
    }
};

using UniqueChangeNotification = std::unique_ptr<void, ChangeNotificationCloser>;

inline UniqueChangeNotification ownChangeNotification(HANDLE handle) {
    return UniqueChangeNotification(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// A wait registered on the thread pool. Unregistering waits for a callback
// that is running to return, so nothing runs for the owner after it goes.
struct WaitUnregisterer {
    void operator()(HANDLE wait) const noexcept {
        if (wait != nullptr) UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
    }
};

using UniqueWait = std::unique_ptr<void, WaitUnregisterer>;

}  // namespace dormivel
