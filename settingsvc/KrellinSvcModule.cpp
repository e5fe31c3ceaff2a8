#include "KrellinSvcModule.h"

#include "Registry.h"

namespace vx {

namespace {

#define VX_REGISTRY_CLSID "{E123E9FA-7DAD-4606-8655-073299C61F8B}"
#define VX_KRELLINSVC_APPID "{9559EC2F-9842-45B7-98B5-5228E20E1812}"

const RegistryEntry kAppIdEntries[] = {
    VX_APPID_ROWS(VX_KRELLINSVC_APPID, "KrellinSvc", "KrellinSvc.EXE")};

const RegistryEntry kRegistryClassEntries[] = {
    VX_SERVER_CLASS_ROWS("KrellinSvc.Registry", VX_REGISTRY_CLSID, "Registry Class",
                         VX_KRELLINSVC_APPID),
    VX_PROGRAMMABLE_CLASS_ROWS("KrellinSvc.Registry", VX_REGISTRY_CLSID,
                               "{B00CDF84-8D80-4A03-A235-1C9C9682C5A7}"),
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
