// Checks for the fuzz targets: a failed check aborts with a line on stderr,
// which libFuzzer reports as a finding (keeping the input) and the corpus
// replay as a failed test.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace dormivel::test {

// Passed as `offset` when the fault has no place in the input.
inline constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

[[noreturn]] inline void fail(std::string_view what, std::size_t offset = kNoOffset) {
    if (offset == kNoOffset) {
        (void)std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    } else {
        (void)std::fprintf(stderr, "fuzz check failed: %.*s at offset %zu\n", static_cast<int>(what.size()),
                           what.data(), offset);
    }
    std::abort();
}

inline void check(bool condition, std::string_view what = "condition") {
    if (!condition) fail(what);
}

}  // namespace dormivel::test
