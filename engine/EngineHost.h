// What the engine tells the program that hosts it.
#pragma once

#include <windows.h>

namespace vx {

struct BlockedPopup;

class EngineHost {
  public:
    // A popup was blocked and counted: the tray tip shows the new total.
    virtual void BlockCountRaised(LONG total) = 0;
    // The user should hear of this block (NotifyOnBlock is on, and its page
    // has not been announced within the quiet time).
    virtual void ShowBlockNotice(const BlockedPopup& popup) = 0;

  protected:
    ~EngineHost() = default;
};

} // namespace vx
