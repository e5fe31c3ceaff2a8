// In-process server registered for the ShellWindows class inside a test
// prefix: its class object is the double's collection class, served by
// BrowserDouble.exe, so the agent's CoCreateInstance reaches the double.
#include "DoubleIds.h"

#include <objbase.h>

using namespace vx::browserdouble;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, kClsidShellWindows)) return CLASS_E_CLASSNOTAVAILABLE;
    return CoGetClassObject(kClsidDoubleShellWindows, CLSCTX_LOCAL_SERVER, nullptr, riid, ppv);
}

// The class objects handed out belong to another process.
STDAPI DllCanUnloadNow() {
    return S_FALSE;
}
