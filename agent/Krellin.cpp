// Krellin, the browser agent: a local COM server (optionally an NT service)
// that watches every browser window and blocks unwanted popups.
#include "KrellinModule.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vx::KrellinModule module;
    module.Init(instance);
    return module.Main();
}
