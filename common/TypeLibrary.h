// The type libraries embedded in this module as resources TYPELIB 1, 2, ...
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace vx {

// Full path of the module (program or DLL) that contains this code.
std::wstring OwnModulePath();

// The highest resource number a module's type library may have.
constexpr UINT kMaxOwnTypeLibs = 4;

// Type information for iid from the module's type library number `index`.
// Each library is loaded once and kept for the life of the process.
HRESULT LoadOwnTypeInfo(REFIID iid, ITypeInfo** info, UINT index = 1);

// The module's type library number `index`, with a new reference for the
// caller.
HRESULT LoadOwnTypeLib(ITypeLib** lib, UINT index = 1);

// The path LoadTypeLibEx and RegisterTypeLib take for library `index`: the
// module's path, followed by "\<index>" for any but the first.
std::wstring OwnTypeLibPath(UINT index);

} // namespace vx
