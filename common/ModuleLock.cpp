#include "ComObject.h"

namespace vx {

namespace {
LONG gModuleLocks = 0;
}

LONG ModuleLockCount() { return gModuleLocks; }
void ModuleLock() { InterlockedIncrement(&gModuleLocks); }
void ModuleUnlock() { InterlockedDecrement(&gModuleLocks); }

} // namespace vx
