// The DLL's exports: the class object, unloading, and registration.
#include "Marklore.h"
#include "MarkloreRegistration.h"

namespace {
vx::ClassFactory<vx::Marklore> gMarkloreFactory;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_Marklore)) return CLASS_E_CLASSNOTAVAILABLE;
    return gMarkloreFactory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return vx::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return vx::RegisterMarklore();
}

STDAPI DllUnregisterServer() {
    return vx::UnregisterMarklore();
}
