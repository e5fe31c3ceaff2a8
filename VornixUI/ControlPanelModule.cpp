#include "ControlPanelModule.h"

#include "common/Registrar.h"
#include "common/Scoped.h"
#include "common/TypeLibrary.h"

#include <oleauto.h>

namespace vx {

namespace {

const RegistryEntry kAppIdEntries[] = {
    {"AppID\\{1F182AC9-519F-4D3F-A5C1-2ED546A9C7A3}", nullptr, "VornixUI", 0},
    {"AppID\\VornixUI.EXE", "AppID", ControlPanelModule::kAppId, 0},
};

} // namespace

HRESULT ControlPanelModule::RegisterAppId() {
    return WriteRegistryTable(MakeRegistryTable(kAppIdEntries));
}

void ControlPanelModule::UnregisterAppId() {
    RemoveRegistryTable(MakeRegistryTable(kAppIdEntries));
}

HRESULT ControlPanelModule::RegisterServer() {
    std::wstring path = OwnModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
    if (FAILED(hr)) return hr;
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    return RegisterTypeLib(library.Get(), &path[0], &folder[0]);
}

HRESULT ControlPanelModule::UnregisterServer() {
    return UnregisterOwnTypeLibrary();
}

} // namespace vx
