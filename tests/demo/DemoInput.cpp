#include "tests/support/ProcessTools.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int Say(int code, const char* format, const char* text = "") {
    std::printf(format, text);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    const std::string action = argc > 1 ? argv[1] : "";
    const char* label = argc > 2 ? argv[2] : nullptr;
    if (action == "tray-dblclick" || action == "restore") {
        HWND agent = FindWindowA("Krellin", nullptr);
        if (!agent) return Say(1, "no agent window\n");
        if (action == "restore") {
            ShowWindow(agent, SW_RESTORE);
            MoveWindow(agent, 40, 60, 1000, 640, TRUE);
            return 0;
        }
        // The callback the agent registered for its icon, as the shell sends it.
        SendMessageA(agent, WM_APP + 1, 107, WM_LBUTTONDBLCLK);
        return Say(0, "double-clicked the agent's tray icon\n");
    }
    if (action != "panel-wait" && (action != "panel-click" || !label))
        return Say(2, "usage: DemoInput tray-dblclick|restore|panel-wait|panel-click <label>\n");
    // The panel gives its browser page a few seconds before the native one.
    HWND dialog = nullptr, page = nullptr;
    for (int waited = 0; !page && waited < 20000; waited += 100, Sleep(100)) {
        dialog = FindWindowA("#32770", "Vornix! Popup Blocker");
        page = FindWindowExA(dialog, nullptr, "VornixUINativePage", nullptr);
    }
    if (!dialog || !page) return Say(1, "the control panel's native page did not appear\n");
    if (action == "panel-wait") {
        // The client area: without a window manager nobody draws the frame.
        RECT r;
        GetClientRect(dialog, &r);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        std::printf("geometry %ldx%ld+%ld+%ld\n", r.right, r.bottom, origin.x, origin.y);
        return 0;
    }
    HWND control = FindWindowExA(page, nullptr, "Button", label);
    if (!control) return Say(1, "no control \"%s\" on the panel\n", label);
    // A click on a window that is not yet the active one may only activate it.
    SetForegroundWindow(dialog);
    vx::test::WaitUntil([&] { return GetForegroundWindow() == dialog; }, 2000);
    RECT r;
    GetWindowRect(control, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
    return Say(0, "clicked \"%s\" on the control panel\n", label);
}
