// What the engine tells the program that hosts it.
#pragma once

#include <windows.h>

namespace vx {

class EngineHost {
  public:
    // A popup was blocked and counted: the tray tip shows the new total.
    virtual void BlockCountRaised(LONG total) = 0;

  protected:
    ~EngineHost() = default;
};

} // namespace vx
