// The control panel program: registration switches, or the dialog once,
// over the browser's page or, where that cannot be shown, the native one.
#pragma once

#include "ControlPanelModule.h"

namespace vx {

// The switches the program knows, each written "/" or "-" and in any case.
struct CommandLineSwitches {
    bool embedded = false;       // Embedding, Automation
    bool unregister = false;     // Unregister, Unregserver
    bool registerServer = false; // Register, Regserver
    bool nativePage = false;     // NativePage: never the browser's page
};

CommandLineSwitches ParseCommandLine(const wchar_t* commandLine);

class ControlPanelApp {
  public:
    // Registers, unregisters or runs the control panel's dialog, then
    // returns the process's exit code.
    int Run(const wchar_t* commandLine);

  private:
    int RunDialog(bool nativePage);

    ControlPanelModule module_;
};

} // namespace vx
