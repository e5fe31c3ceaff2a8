// Plays the user's part on the agent's and the control panel's windows for
// the demo:
//   tray-dblclick        double click on the agent's tray icon
//   restore              restore the diagnostics window to a readable size
//   panel-wait           wait for the control panel's native page; prints
//                        "geometry WxH+X+Y" of the panel for a screenshot
//   panel-click <label>  a mouse click on the panel's control with that label
#include "ProcessTools.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int AgentAction(const char* action) {
    HWND agent = FindWindowA("Krellin", nullptr);
    if (!agent) {
        std::printf("no agent window\n");
        return 1;
    }
    if (std::strcmp(action, "tray-dblclick") == 0) {
        // The callback the agent registered for its icon, as the shell sends it.
        SendMessageA(agent, WM_APP + 1, 107, WM_LBUTTONDBLCLK);
        std::printf("double-clicked the agent's tray icon\n");
        return 0;
    }
    ShowWindow(agent, SW_RESTORE);
    MoveWindow(agent, 40, 60, 1000, 640, TRUE);
    return 0;
}

// The panel's native page, waited for: the panel gives its browser page a
// few seconds first.
HWND PanelPage(HWND* dialog) {
    for (int waited = 0; waited < 20000; waited += 100) {
        *dialog = FindWindowA("#32770", "Vornix! Popup Blocker");
        HWND page =
            *dialog ? FindWindowExA(*dialog, nullptr, "VornixUINativePage", nullptr) : nullptr;
        if (page) return page;
        Sleep(100);
    }
    return nullptr;
}

int PanelAction(const char* action, const char* label) {
    HWND dialog = nullptr;
    HWND page = PanelPage(&dialog);
    if (!page) {
        std::printf("the control panel's native page did not appear\n");
        return 1;
    }
    if (std::strcmp(action, "panel-wait") == 0) {
        // The client area: without a window manager nobody draws the frame.
        RECT r;
        GetClientRect(dialog, &r);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        std::printf("geometry %ldx%ld+%ld+%ld\n", r.right, r.bottom, origin.x, origin.y);
        return 0;
    }
    HWND control = FindWindowExA(page, nullptr, "Button", label);
    if (!control) {
        std::printf("no control \"%s\" on the panel\n", label);
        return 1;
    }
    vx::test::ClickOn(control);
    std::printf("clicked \"%s\" on the control panel\n", label);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* action = argc > 1 ? argv[1] : "";
    if (std::strcmp(action, "tray-dblclick") == 0 || std::strcmp(action, "restore") == 0)
        return AgentAction(action);
    if (std::strcmp(action, "panel-wait") == 0 ||
        (std::strcmp(action, "panel-click") == 0 && argc > 2))
        return PanelAction(action, argc > 2 ? argv[2] : "");
    std::printf("usage: DemoInput tray-dblclick|restore|panel-wait|panel-click <label>\n");
    return 2;
}
