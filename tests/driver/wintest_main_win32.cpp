// Main of the Win32 test program. A crash must end the process with a
// non-zero code at once: under Wine a crash can otherwise race the crash
// debugger and exit 0, or open a dialog and hang.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

LONG WINAPI terminateOnCrash(EXCEPTION_POINTERS* info) {
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode : 3;
    TerminateProcess(GetCurrentProcess(), code != 0 ? code : 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter(terminateOnCrash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
