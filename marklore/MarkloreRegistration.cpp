#include "MarkloreRegistration.h"

#include "common/Registrar.h"

namespace vx {

namespace {

#define VX_MARKLORE_CLSID "{54749296-2258-4762-8C41-0726073AB738}"
#define VX_MARKLORE_LIBID "{D3F24589-0927-41A9-A712-DFD53C5526A4}"

const RegistryEntry kEntries[] = {
    {"CLSID\\" VX_MARKLORE_CLSID, nullptr, "Marklore Class", kRegReplace},
    {"CLSID\\" VX_MARKLORE_CLSID "\\ProgID", nullptr, "Marklore.Marklore.1", 0},
    {"CLSID\\" VX_MARKLORE_CLSID "\\VersionIndependentProgID", nullptr, "Marklore.Marklore", 0},
    {"CLSID\\" VX_MARKLORE_CLSID "\\InprocServer32", nullptr, nullptr, kRegModulePath},
    {"CLSID\\" VX_MARKLORE_CLSID "\\InprocServer32", "ThreadingModel", "Apartment", 0},
    {"CLSID\\" VX_MARKLORE_CLSID "\\TypeLib", nullptr, VX_MARKLORE_LIBID, 0},
    {"Marklore.Marklore.1", nullptr, "Marklore Class", 0},
    {"Marklore.Marklore.1\\CLSID", nullptr, VX_MARKLORE_CLSID, 0},
    {"Marklore.Marklore", nullptr, "Marklore Class", 0},
    {"Marklore.Marklore\\CLSID", nullptr, VX_MARKLORE_CLSID, 0},
    {"Marklore.Marklore\\CurVer", nullptr, "Marklore.Marklore.1", 0},
};

} // namespace

HRESULT RegisterMarklore() {
    HRESULT hr = WriteRegistryTable(MakeRegistryTable(kEntries));
    if (SUCCEEDED(hr)) hr = RegisterOwnTypeLibrary();
    if (FAILED(hr)) UnregisterMarklore();
    return hr;
}

HRESULT UnregisterMarklore() {
    HRESULT hr = UnregisterOwnTypeLibrary();
    RemoveRegistryTable(MakeRegistryTable(kEntries));
    return hr;
}

} // namespace vx
