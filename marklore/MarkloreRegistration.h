// Marklore's entries under HKEY_CLASSES_ROOT and its registered type library.
#pragma once

#include <windows.h>

namespace vx {

// Writes the class, both ProgIDs and the type library, pointing at this DLL.
// On failure whatever was written is taken away again.
HRESULT RegisterMarklore();

// Removes exactly what RegisterMarklore writes; what is already gone counts
// as removed.
HRESULT UnregisterMarklore();

} // namespace vx
