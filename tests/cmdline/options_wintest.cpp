// The command line of dormivel.exe, driven as a user would.
#include <gtest/gtest.h>

#include "driver/driver_win32.h"
#include "support/refused_start_win32.h"
#include "ui/resource.h"

namespace {

struct BadCommandLine {
    std::vector<std::wstring> args;
    const wchar_t* message;
};

TEST(CommandLine, BadOptionsShowTheirMessageAndExitMinusOne) {
    const BadCommandLine cases[] = {
        {{L"--foo=1"}, L"unrecognized option - --foo"},
        {{L"--lead=90"}, L"unrecognized option - --lead"},
        {{L"-aq"}, L"unrecognized option - -q"},
        {{L"--nomanual=1-5,x"}, L"There was a problem with your --nomanual ranges."},
        {{L"--noir=1-5, 7-9"}, L"There was a problem with your --noir ranges."},
        {{L"--nofavorite=3"}, L"There was a problem with your --nofavorite ranges."},
        // The first problem is the one reported.
        {{L"--nomanual=x", L"--noir=y"}, L"There was a problem with your --nomanual ranges."},
    };
    const driver::ScratchDir dir(L"badoptions");
    ASSERT_TRUE(driver::writeFile(dir.file(L"schedule.txt"), "header\n"));
    for (const auto& c : cases) {
        SCOPED_TRACE(driver::narrow(c.args[0]));
        // A refused command line starts nothing: no main window is made.
        EXPECT_TRUE(dormivel::test::isRefusedStart(driver::runToStartupWarning(c.args, dir.path()), c.message));
    }
}

TEST(CommandLine, AllTwelveOptionsStartNormally) {
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(
        L"alloptions", "header\n",
        {L"--nomanual=1-6", L"--noir=22-2,12-13", L"--nofavorite", L"--leadtime=90", L"--schedfile=schedule.txt",
         L"--logfile=log.xml", L"--appendlog", L"--terminate=NoSuchClass,Other", L"--execute=nosuch.exe",
         L"--noresuspend", L"--warntime=30", L"--usehiber", L"ignored-argument"},
        run));
    EXPECT_TRUE(driver::isRunning(run.process));
    // The sleeping method follows --usehiber.
    EXPECT_EQ(SendDlgItemMessageW(run.mainWindow, IDC_SLEEP_METHOD, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

TEST(CommandLine, ShortFormsStartNormally) {
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"shortoptions", "header\n",
                                      {L"-M", L"1-6", L"-t90Rh", L"-s", L"schedule.txt", L"-w", L"5"}, run));
    EXPECT_EQ(SendDlgItemMessageW(run.mainWindow, IDC_SLEEP_METHOD, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

}  // namespace
