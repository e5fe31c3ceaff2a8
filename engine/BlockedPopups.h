// The popups blocked lately, newest first, and when the user is told of one.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace vx {

struct BlockedPopup {
    std::wstring url;
    // The opener's site as a plain host name ("" when its page is unknown).
    std::wstring openerSite;
    SYSTEMTIME time;
};

class BlockedPopups {
  public:
    static constexpr size_t kMaxEntries = 20;
    // A page that keeps opening popups is announced once in this time.
    static constexpr ULONGLONG kQuietMs = 10000;

    // Records a block at `now` (milliseconds on any steady clock); answers
    // whether the user should hear of it: not when a block from the same
    // opener page was announced less than kQuietMs before.
    bool Add(BlockedPopup popup, const std::wstring& openerPage, ULONGLONG now);

    const std::deque<BlockedPopup>& Entries() const { return entries_; }
    // The entry at index (0 the newest), or null.
    const BlockedPopup* At(size_t index) const {
        return index < entries_.size() ? &entries_[index] : nullptr;
    }

  private:
    std::deque<BlockedPopup> entries_;
    // Opener pages announced within the quiet time, with when.
    std::vector<std::pair<std::wstring, ULONGLONG>> announced_;
};

} // namespace vx
