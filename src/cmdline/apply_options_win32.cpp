#include "cmdline/apply_options_win32.h"

#include <string>

#include "ui/warning_win32.h"

namespace dormivel {

bool applyOptions(int argc, wchar_t** argv, AppState& state) {
    std::wstring message;
    if (parseCommandLine(argc, argv, state.options, message)) return true;
    showStartupWarning(message.c_str());
    return false;
}

}  // namespace dormivel
