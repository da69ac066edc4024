// The message box of every start-up failure.
#pragma once

namespace dormivel {

// No owner, caption "Dormivel", warning icon, one OK button.
void showStartupWarning(const wchar_t* text);

}  // namespace dormivel
