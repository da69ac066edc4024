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

#if defined(__GLIBCXX__)
#include <cstdlib>
// An exception nobody catches (memory exhausted) ends the process. GNU's
// library first prints the exception's demangled type to stderr, which a
// program without a console does not have; its demangler is a sixth of the
// program's size. Ending at once is all that is left to do.
namespace __gnu_cxx {
void __verbose_terminate_handler();   // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void __verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    std::abort();
}
}  // namespace __gnu_cxx
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
