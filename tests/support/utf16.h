// Wide texts written as UTF-16 code units, as the shipped program holds
// them on Windows (16-bit wchar_t). A wide literal with a character beyond
// U+FFFF is one unit where wchar_t has 32 bits and two units on Windows, so
// tests whose expectations count units build their input from char16_t
// literals, one wchar_t per UTF-16 unit, and state what Windows does on
// every platform.
#pragma once

#include <string>
#include <string_view>

namespace dormivel::test {

inline std::wstring fromUtf16(std::u16string_view units) {
    std::wstring text;
    text.reserve(units.size());
    for (const char16_t unit : units)
        text.push_back(static_cast<wchar_t>(unit));
    return text;
}

}  // namespace dormivel::test
