// Watching the schedule file: the folder that is watched and the settle that
// waits for a rewrite to finish. The platform's file calls are injected, so
// both run natively in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "schedule/schedule_file.h"

namespace dormivel {

// The folder that holds the file: the full path cut before its final
// component (which starts at `fileNameOffset`). A file in a drive's root
// keeps the separator ("C:\"), since "C:" alone would name that drive's
// current directory; a UNC path keeps its share ("\\server\share\").
std::wstring scheduleDirectory(std::wstring_view fullPath, std::size_t fileNameOffset);

// The one-second settle after a change in the watched folder. When the
// file's stamp differs from `reference`, it makes the stamp the reference,
// sleeps one interval and looks again, for as long as the stamp keeps
// changing, then runs `pass` once. Returns whether it ran the pass. A stamp
// equal to the reference (a write to another file of the folder) runs none.
bool settleAndPass(FileStamp& reference, const std::function<FileStamp()>& readStamp,
                   const std::function<void()>& sleepOneInterval, const std::function<void()>& pass);

}  // namespace dormivel
