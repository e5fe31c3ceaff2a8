// Plays the user's part on the agent's windows for the demo:
//   tray-dblclick  double click on the agent's tray icon
//   restore        restore the diagnostics window to a readable size
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    HWND agent = FindWindowA("Krellin", nullptr);
    if (!agent) {
        std::printf("no agent window\n");
        return 1;
    }
    const char* action = argc > 1 ? argv[1] : "";
    if (std::strcmp(action, "tray-dblclick") == 0) {
        // The callback the agent registered for its icon, as the shell sends it.
        SendMessageA(agent, WM_APP + 1, 107, WM_LBUTTONDBLCLK);
        std::printf("double-clicked the agent's tray icon\n");
        return 0;
    }
    if (std::strcmp(action, "restore") == 0) {
        ShowWindow(agent, SW_RESTORE);
        MoveWindow(agent, 40, 60, 1000, 640, TRUE);
        return 0;
    }
    std::printf("usage: DemoInput tray-dblclick|restore\n");
    return 2;
}
