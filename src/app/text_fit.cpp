#include "app/text_fit.h"

namespace dormivel {

std::optional<std::string> fitted(std::string_view text, std::size_t room) {
    constexpr std::string_view kEllipsis = "...";
    if (text.size() <= room) return std::string(text);
    if (room <= kEllipsis.size()) return std::nullopt;
    std::string cut(text.substr(0, room - kEllipsis.size()));
    cut += kEllipsis;
    return cut;
}

}  // namespace dormivel
