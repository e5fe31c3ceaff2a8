// KrellinSvc: the settings service, a local COM server or NT service that
// hosts the Registry class.
#include "KrellinSvcModule.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vx::KrellinSvcModule module;
    module.Init(instance);
    return module.Main();
}
