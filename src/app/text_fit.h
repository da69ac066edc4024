// Texts cut to fit a field of the platform's (a balloon, a tip, a reason).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dormivel {

// `text` whole when it fits in `room` bytes, otherwise cut to end in "...";
// nothing when not even one byte of it would be left.
std::optional<std::string> fitted(std::string_view text, std::size_t room);

}  // namespace dormivel
