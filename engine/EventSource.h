// Connecting a sink to an event source's connection point (a browser's
// DWebBrowserEvents2, the shell collection's DShellWindowsEvents).
#pragma once

#include <windows.h>
#include <ocidl.h>

namespace vx {

HRESULT AdviseEvents(IDispatch* source, REFIID events, IUnknown* sink, DWORD* cookie);
HRESULT UnadviseEvents(IDispatch* source, REFIID events, DWORD cookie);

} // namespace vx
