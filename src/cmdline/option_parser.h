// A small table-driven parser for long options (--name, --name=value) with
// one-letter short forms (-x, -xvalue, -x value, grouped -xyz). It writes each
// value straight into the variable its table entry names and knows nothing of
// what the options mean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dormivel {

enum class OptionKind : std::int32_t {
    flag = 0,
    integer = 1,
    text = 2,
};

// The receiving variable of an option: only the pointer matching the entry's
// kind is used; an entry whose matching pointer is null is recognised but its
// value goes nowhere.
struct OptionTarget {
    bool* flag = nullptr;
    std::int32_t* integer = nullptr;
    // Set to point into the argument vector (never copied), or to null for
    // absent.
    const wchar_t** text = nullptr;
};

struct OptionEntry {
    OptionKind kind = OptionKind::flag;
    wchar_t letter = 0;             // compared case-sensitively
    const wchar_t* name = nullptr;  // without "--"; compared ignoring ASCII case
    OptionTarget target;
};

// Every option table has exactly this many entries; it carries no count and
// no terminating entry.
inline constexpr std::size_t kOptionCount = 12;

// Parses argv[1..argc-1] against `table`. Non-option arguments are moved, in
// their order, to argv[1], argv[2], ...; the option arguments end up after
// them, so argv stays a permutation of its original pointers.
// Returns 1 + the number of non-option arguments on success (never 0), or 0
// at the first unrecognised long name or short letter; `failing` (may be
// null) then receives the whole argument for a long option, or the
// argument's text from the unrecognised letter on for a short one. Targets
// written before a failure keep their values.
std::int32_t parseOptions(std::span<const OptionEntry, kOptionCount> table, int argc, wchar_t** argv,
                          const wchar_t** failing);

// Room for the option error message, terminator included.
inline constexpr std::size_t kOptionErrorSize = 512;

// The start of every option error message; the option follows.
inline constexpr const wchar_t* kUnrecognizedOptionPrefix = L"unrecognized option - ";

// "unrecognized option - --name" for a failing text that begins with "--"
// (cut before its first '='), otherwise "unrecognized option - -x" with the
// failing text's first character. At most 511 characters are written, and
// buffer[511] is always the terminator. A null failing text counts as empty.
void formatOptionError(const wchar_t* failing, wchar_t (&buffer)[kOptionErrorSize]);

// The leading decimal number of `text` as the runtime's _wtoi reads it:
// leading blanks (space, \t \n \v \f \r), an optional sign, then decimal
// digits up to the first other character; 0 when there are none or `text` is
// null. Numbers outside the signed 32-bit range are clamped to its ends (as
// the platform's runtime does).
std::int32_t wtoi(const wchar_t* text);

// wcstol in base 10: like wtoi, and `*end` (when end is non-null) receives
// the first character not used; with no digits `*end` is `text` itself.
// Clamps like wtoi.
std::int32_t wcstolBase10(const wchar_t* text, const wchar_t** end);

}  // namespace dormivel
