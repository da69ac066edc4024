#include "app/app_state_win32.h"

#include "ui/resource.h"

namespace dormivel {

void initAppState(AppState& state) {
    state.smallIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_DORMIVEL), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

void destroyAppState(AppState& state) {
    state.wakeTimer.reset();
    if (state.smallIcon != nullptr) {
        DestroyIcon(state.smallIcon);
        state.smallIcon = nullptr;
    }
    state.plan.previousNext.clear();
    state.plan.previousNow.clear();
    state.recordings.clear();
    closeEventLog(state.logFile);
    state.options.noManualRanges.clear();
    state.options.noIrRanges.clear();
    state.options.noFavoriteRanges.clear();
    state.options.terminateList.clear();
    state.options.executeList.clear();
}

}  // namespace dormivel
