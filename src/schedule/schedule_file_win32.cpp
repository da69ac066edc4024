#include "schedule/schedule_file_win32.h"

#include <fcntl.h>
#include <io.h>

#include "app/clock_win32.h"
#include "app/handle_win32.h"

namespace dormivel {

FILE* openScheduleFile(const std::wstring& path, std::uint32_t& error) {
    UniqueHandle file =
        ownHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        error = GetLastError();
        return nullptr;
    }
    // The runtime's descriptor and stream take the handle over: closing the
    // stream closes it.
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_TEXT);
    if (descriptor == -1) {
        error = ERROR_TOO_MANY_OPEN_FILES;
        return nullptr;
    }
    (void)file.release();
    FILE* stream = _fdopen(descriptor, "rt");
    if (stream == nullptr) {
        error = ERROR_TOO_MANY_OPEN_FILES;
        _close(descriptor);
    }
    return stream;
}

FileStamp readScheduleStamp(const std::wstring& path) {
    // Read without opening the file, so that a writer renaming over it or
    // deleting it is never refused because of this look.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) == FALSE) return {};
    return FileStamp{true, fromFileTime(data.ftLastWriteTime)};
}

}  // namespace dormivel
