// Fuzzes the hour-range reader against a reference model written the other
// way round: split the text at every comma first, then match each piece
// against  digits* '-' digit anything*  and compute the bytes by modular
// arithmetic instead of reading a number.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmdline/options.h"
#include "support/fuzz_check.h"

namespace {

using namespace dormivel;
using test::check;

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The low byte of +digits or -digits after clamping to the 32-bit range:
// beyond it, INT32_MAX keeps 0xFF and INT32_MIN keeps 0x00.
std::uint8_t byteOf(const std::wstring& digits, bool negative) {
    std::uint64_t magnitude = 0;  // saturates at 2^32
    unsigned mod = 0;
    for (wchar_t c : digits) {
        const unsigned d = static_cast<unsigned>(c - L'0');
        magnitude = std::min<std::uint64_t>(magnitude * 10 + d, std::uint64_t{1} << 32);
        mod = (mod * 10 + d) % 256;
    }
    if (!negative) return magnitude > 0x7FFFFFFFu ? 0xFF : static_cast<std::uint8_t>(mod);
    return magnitude > 0x80000000u ? 0x00 : static_cast<std::uint8_t>((256 - mod) % 256);
}

std::wstring leadingDigits(const std::wstring& s, std::size_t from) {
    std::size_t end = from;
    while (end < s.size() && isDigit(s[end]))
        ++end;
    return s.substr(from, end - from);
}

bool reference(const std::wstring& text, HourRangeList& ranges) {
    std::vector<std::wstring> pieces{L""};
    for (wchar_t c : text) {
        if (c == L',') {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(c);
        }
    }
    for (const auto& piece : pieces) {
        const std::wstring first = leadingDigits(piece, 0);
        const std::size_t dash = first.size();
        if (dash >= piece.size() || piece[dash] != L'-') return false;
        if (dash + 1 >= piece.size() || !isDigit(piece[dash + 1])) return false;
        const std::wstring last = leadingDigits(piece, dash + 1);
        ranges.push_back(HourRange{first.empty() ? byteOf(last, true) : byteOf(first, false), byteOf(last, false)});
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size && data[i] != 0; ++i)
        text.push_back(static_cast<wchar_t>(data[i]));

    // Both start from a non-empty list: nothing already in it may change.
    HourRangeList actual{{7, 9}};
    HourRangeList expected{{7, 9}};
    const bool ok = parseHourRanges(text.c_str(), actual);
    check(ok == reference(text, expected), "result differs from the reference");
    check(actual == expected, "ranges differ from the reference");
    return 0;
}
