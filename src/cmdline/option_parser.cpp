#include "cmdline/option_parser.h"

#include <algorithm>
#include <limits>

namespace dormivel {
namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// ASCII-only case folding, as _wcsnicmp does in the "C" locale; other
// characters must match exactly.
wchar_t foldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool sameText(const wchar_t* a, const wchar_t* b) {
    std::size_t i = 0;
    for (; a[i] != 0 && b[i] != 0; ++i) {
        if (a[i] != b[i]) return false;
    }
    return a[i] == b[i];
}

// True when `name` has exactly `length` characters that equal given[0..length)
// ignoring ASCII case. No abbreviations: a shorter given name never matches.
bool nameMatches(const wchar_t* name, const wchar_t* given, std::size_t length) {
    if (name == nullptr) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (name[i] == 0 || foldAscii(name[i]) != foldAscii(given[i])) return false;
    }
    return name[length] == 0;
}

const OptionEntry* findByName(std::span<const OptionEntry, kOptionCount> table, const wchar_t* given,
                              std::size_t length) {
    for (const OptionEntry& entry : table) {
        if (nameMatches(entry.name, given, length)) return &entry;
    }
    return nullptr;
}

const OptionEntry* findByLetter(std::span<const OptionEntry, kOptionCount> table, wchar_t letter) {
    for (const OptionEntry& entry : table) {
        if (entry.letter == letter) return &entry;
    }
    return nullptr;
}

void setFlag(const OptionEntry& entry, bool value) {
    if (entry.target.flag != nullptr) *entry.target.flag = value;
}

void setInteger(const OptionEntry& entry, std::int32_t value) {
    if (entry.target.integer != nullptr) *entry.target.integer = value;
}

void setText(const OptionEntry& entry, const wchar_t* value) {
    if (entry.target.text != nullptr) *entry.target.text = value;
}

// A long flag's value: absent, a non-zero leading number, or exactly "true",
// "yes" or "on" (case-sensitive) mean true; anything else false.
bool flagValue(const wchar_t* value) {
    if (value == nullptr) return true;
    if (wtoi(value) != 0) return true;
    return sameText(value, L"true") || sameText(value, L"yes") || sameText(value, L"on");
}

void applyLongValue(const OptionEntry& entry, const wchar_t* value) {
    switch (entry.kind) {
        case OptionKind::flag:
            setFlag(entry, flagValue(value));
            break;
        case OptionKind::integer:
            setInteger(entry, value == nullptr ? 0 : wtoi(value));
            break;
        case OptionKind::text:
            setText(entry, value);
            break;
    }
}

// Moves argv[from] down to argv[to] (to <= from), shifting argv[to..from) up
// by one, so no pointer is lost.
void moveDown(wchar_t** argv, int to, int from) {
    std::rotate(argv + to, argv + from, argv + from + 1);
}

}  // namespace

std::int32_t wcstolBase10(const wchar_t* text, const wchar_t** end) {
    if (end != nullptr) *end = text;
    if (text == nullptr) return 0;
    const wchar_t* p = text;
    while (isBlank(*p))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    if (!isDigit(*p)) return 0;
    // The magnitude saturates just past the 32-bit range, so any length of
    // digits can be read without overflow.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; isDigit(*p); ++p) {
        magnitude = std::min(kLimit, magnitude * 10 + (*p - L'0'));
    }
    if (end != nullptr) *end = p;
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::int32_t wtoi(const wchar_t* text) {
    return wcstolBase10(text, nullptr);
}

std::int32_t parseOptions(std::span<const OptionEntry, kOptionCount> table, int argc, wchar_t** argv,
                          const wchar_t** failing) {
    int kept = 1;  // argv[0], the program's name, stays first
    for (int i = 1; i < argc; ++i) {
        wchar_t* arg = argv[i];
        // A null entry cannot come from the platform; it is kept like any
        // other non-option argument rather than dereferenced.
        if (arg == nullptr || arg[0] != L'-') {
            moveDown(argv, kept++, i);
            continue;
        }
        if (arg[1] == L'-' && arg[2] == 0) {
            // "--": every later argument is a non-option argument.
            std::rotate(argv + kept, argv + i + 1, argv + argc);
            return kept + (argc - i - 1);
        }
        if (arg[1] == L'-') {
            const wchar_t* given = arg + 2;
            std::size_t length = 0;
            while (given[length] != 0 && given[length] != L'=')
                ++length;
            const OptionEntry* entry = findByName(table, given, length);
            if (entry == nullptr) {
                if (failing != nullptr) *failing = arg;
                return 0;
            }
            applyLongValue(*entry, given[length] == L'=' ? given + length + 1 : nullptr);
            continue;
        }
        if (arg[1] == 0) continue;  // a lone "-" is passed over

        // A group of short options.
        const wchar_t* cursor = arg + 1;
        while (*cursor != 0) {
            const OptionEntry* entry = findByLetter(table, *cursor);
            if (entry == nullptr) {
                if (failing != nullptr) *failing = cursor;
                return 0;
            }
            const wchar_t* rest = cursor + 1;
            if (entry->kind == OptionKind::flag) {
                setFlag(*entry, true);
                cursor = rest;
            } else if (entry->kind == OptionKind::integer) {
                if (*rest != 0) {
                    // Digits may be followed by further letters of the group;
                    // with no digits the cursor stays on the next character.
                    setInteger(*entry, wcstolBase10(rest, &cursor));
                } else {
                    setInteger(*entry, i + 1 < argc ? wtoi(argv[++i]) : 0);
                    cursor = rest;
                }
            } else {
                if (*rest != 0) {
                    setText(*entry, rest);
                } else {
                    // The next argument is the value even if it begins with "-".
                    setText(*entry, i + 1 < argc ? argv[++i] : nullptr);
                }
                break;
            }
        }
    }
    return kept;
}

void formatOptionError(const wchar_t* failing, wchar_t (&buffer)[kOptionErrorSize]) {
    constexpr std::size_t kLast = kOptionErrorSize - 1;
    std::size_t n = 0;
    auto put = [&](wchar_t c) {
        if (n < kLast) buffer[n++] = c;
    };
    for (const wchar_t* p = kUnrecognizedOptionPrefix; *p != 0; ++p)
        put(*p);
    if (failing == nullptr) failing = L"";
    if (failing[0] == L'-' && failing[1] == L'-') {
        for (const wchar_t* p = failing; *p != 0 && *p != L'='; ++p)
            put(*p);
    } else {
        put(L'-');
        if (failing[0] != 0) put(failing[0]);
    }
    buffer[n] = 0;
    buffer[kLast] = 0;
}

}  // namespace dormivel
