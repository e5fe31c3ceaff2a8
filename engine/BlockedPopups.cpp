#include "BlockedPopups.h"

#include <algorithm>

namespace vx {

bool BlockedPopups::Add(BlockedPopup popup, const std::wstring& openerPage, ULONGLONG now) {
    entries_.push_front(std::move(popup));
    if (entries_.size() > kMaxEntries) entries_.pop_back();

    // Only pages announced within the quiet time are kept, so the list stays
    // as short as the pages that opened popups in the last few seconds.
    announced_.erase(
        std::remove_if(announced_.begin(), announced_.end(),
                       [now](const auto& page) { return now - page.second >= kQuietMs; }),
        announced_.end());
    for (const auto& page : announced_)
        if (page.first == openerPage) return false;
    announced_.emplace_back(openerPage, now);
    return true;
}

} // namespace vx
