// Small service control manager sequences shared by the two servers.
#pragma once

#include <windows.h>

namespace vx {

// Sets the service to start automatically and starts it. S_OK when every
// step succeeded, S_FALSE when any failed (a missing manager or service, a
// refused change, or a service that already runs). Nothing is reported.
HRESULT EnableServiceAutoStart(const char* serviceName);

} // namespace vx
