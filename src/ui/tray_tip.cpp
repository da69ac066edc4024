#include "ui/tray_tip.h"

#include "app/text_fit.h"

namespace dormivel {

std::string composeTrayTip(const WakeHealth& health, const std::optional<TipWakeUp>& next) {
    if (health.problem != WakeProblem::none) return std::string(wakeProblemTip(health));
    constexpr std::string_view kPlain = "Dormivel";
    if (!next) return std::string(kPlain);
    std::string tip = "Dormivel: next wake-up";
    for (const std::string* piece : {&next->day, &next->time}) {
        if (piece->empty()) continue;
        tip += ' ';
        tip += *piece;
    }
    if (tip.size() > kTrayTipMaxBytes) return std::string(kPlain);
    constexpr std::string_view kFor = " for ";
    if (next->title.empty() || tip.size() + kFor.size() > kTrayTipMaxBytes) return tip;
    const std::optional<std::string> title = fitted(next->title, kTrayTipMaxBytes - tip.size() - kFor.size());
    if (!title) return tip;
    tip += kFor;
    tip += *title;
    return tip;
}

}  // namespace dormivel
