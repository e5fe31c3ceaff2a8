#include "ControlPanelApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    vx::ControlPanelApp app;
    return app.Run(GetCommandLineW());
}
