// Switches the Windows service "Messenger" between demand and automatic
// start. S_OK when every step succeeded, S_FALSE when any failed.
#pragma once

#include <windows.h>

namespace vx {

// Sends one stop request (no wait) and sets the start type to demand start.
HRESULT DisableMessenger();

// Sets the start type to automatic and starts the service.
HRESULT EnableMessenger();

} // namespace vx
