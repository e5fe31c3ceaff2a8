// Puts the double in place of the browser and the shell's window collection
// inside a test prefix, and takes it out again.
#pragma once

#include <windows.h>

#include <string>

namespace vx::browserdouble {

// Registers the double's classes served by `exePath` and makes creations of
// the platform's browser and ShellWindows classes make them instead.
HRESULT RegisterDouble(const std::wstring& exePath);

// Removes all that RegisterDouble added.
HRESULT UnregisterDouble();

} // namespace vx::browserdouble
