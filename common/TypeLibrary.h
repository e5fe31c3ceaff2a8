// The type library embedded in this module as resource TYPELIB 1.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace vx {

// Full path of the module (program or DLL) that contains this code.
std::wstring OwnModulePath();

// Type information for iid from the module's own type library. The library
// is loaded once and kept for the life of the process.
HRESULT LoadOwnTypeInfo(REFIID iid, ITypeInfo** info);

// The module's own type library, with a new reference for the caller.
HRESULT LoadOwnTypeLib(ITypeLib** lib);

} // namespace vx
