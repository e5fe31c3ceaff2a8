// Puts the double in place of the browser and the shell's window collection
// inside a test prefix, and takes it out again.
#pragma once

#include <windows.h>

#include <string>

namespace vx::browserdouble {

// Registers the double's classes served by `exePath`, points the browser's
// ProgID at them and the ShellWindows class at the forwarding DLL beside the
// program. Values it displaces are kept for UnregisterDouble.
HRESULT RegisterDouble(const std::wstring& exePath);

// Puts back what RegisterDouble displaced and removes the double's classes.
HRESULT UnregisterDouble();

} // namespace vx::browserdouble
