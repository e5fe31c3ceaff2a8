// Process-wide COM security of the two servers.
#pragma once

#include <windows.h>

namespace vx {

// CoInitializeSecurity with a descriptor whose owner and primary group are
// those of the calling thread's token (the process token when the thread
// has none) and whose DACL is null, at packet authentication level with
// impersonation.
HRESULT InitializeProcessSecurity();

} // namespace vx
