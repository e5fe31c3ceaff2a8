// IConnectionPointContainer answers of an object that offers no connection
// points: the enumeration is empty and every look-up fails.
#pragma once

#include <windows.h>
#include <ocidl.h>

namespace vx {

// A new enumerator over no points.
HRESULT EnumNoConnectionPoints(IEnumConnectionPoints** ppEnum);

// Nulls *ppCP and returns CONNECT_E_NOCONNECTION.
HRESULT FindNoConnectionPoint(IConnectionPoint** ppCP);

} // namespace vx
