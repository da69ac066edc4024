// Entry point of dormivel.exe: a GUI program with a wide-character entry.
#include <windows.h>
#include <commctrl.h>

#include "app/app_state_win32.h"
#include "app/run_application_win32.h"

#ifdef __MINGW32__
// Arguments are split by the runtime's rules and never wildcard-expanded
// (the Microsoft runtime expands nothing unless setargv is linked).
extern "C" int _dowildcard;
int _dowildcard = 0;
#endif

int wmain(int argc, wchar_t** argv) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    dormivel::AppState state;
    dormivel::initAppState(state);
    const int result = dormivel::runApplication(state, argc, argv);
    dormivel::destroyAppState(state);
    return result;
}
