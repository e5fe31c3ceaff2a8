#include "KrellinSvcModule.h"

#include "Registry.h"

namespace vx {

namespace {

#define VX_REGISTRY_CLSID "{E123E9FA-7DAD-4606-8655-073299C61F8B}"
#define VX_KRELLINSVC_APPID "{9559EC2F-9842-45B7-98B5-5228E20E1812}"

const RegistryEntry kAppIdEntries[] = {
    {"AppID\\" VX_KRELLINSVC_APPID, nullptr, "KrellinSvc", 0},
    {"AppID\\KrellinSvc.EXE", "AppID", VX_KRELLINSVC_APPID, 0},
};

const RegistryEntry kRegistryClassEntries[] = {
    {"KrellinSvc.Registry.1", nullptr, "Registry Class", 0},
    {"KrellinSvc.Registry.1\\CLSID", nullptr, VX_REGISTRY_CLSID, 0},
    {"KrellinSvc.Registry", nullptr, "Registry Class", 0},
    {"KrellinSvc.Registry\\CLSID", nullptr, VX_REGISTRY_CLSID, 0},
    {"KrellinSvc.Registry\\CurVer", nullptr, "KrellinSvc.Registry.1", 0},
    {"CLSID\\" VX_REGISTRY_CLSID, nullptr, "Registry Class", kRegReplace},
    {"CLSID\\" VX_REGISTRY_CLSID, "AppID", VX_KRELLINSVC_APPID, 0},
    {"CLSID\\" VX_REGISTRY_CLSID "\\ProgID", nullptr, "KrellinSvc.Registry.1", 0},
    {"CLSID\\" VX_REGISTRY_CLSID "\\VersionIndependentProgID", nullptr, "KrellinSvc.Registry", 0},
    {"CLSID\\" VX_REGISTRY_CLSID "\\Programmable", nullptr, nullptr, kRegReplace},
    {"CLSID\\" VX_REGISTRY_CLSID "\\LocalServer32", nullptr, nullptr, kRegModulePath},
    {"CLSID\\" VX_REGISTRY_CLSID "\\TypeLib", nullptr, "{B00CDF84-8D80-4A03-A235-1C9C9682C5A7}", 0},
};

ClassFactory<Registry> gRegistryFactory;

const ServerClass kClasses[] = {
    {&CLSID_Registry, &gRegistryFactory, MakeRegistryTable(kRegistryClassEntries)},
};

} // namespace

void KrellinSvcModule::Init(HINSTANCE instance) {
    ServiceModule::Init(ServerIdentity{VX_KRELLINSVC_APPID, MakeRegistryTable(kAppIdEntries),
                                       kClasses, sizeof kClasses / sizeof kClasses[0]},
                        instance);
}

bool KrellinSvcModule::BeforeStart(int* exitCode) {
    instanceMutex_.Reset(CreateMutexA(nullptr, TRUE, kInstanceMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        instanceMutex_.Reset();
        *exitCode = ERROR_ALREADY_EXISTS;
        return false;
    }
    return true;
}

} // namespace vx
