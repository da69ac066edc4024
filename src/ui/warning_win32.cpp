#include "ui/warning_win32.h"

#include <windows.h>

namespace dormivel {

void showStartupWarning(const wchar_t* text) {
    MessageBoxW(nullptr, text, L"Dormivel", MB_OK | MB_ICONWARNING);
}

}  // namespace dormivel
