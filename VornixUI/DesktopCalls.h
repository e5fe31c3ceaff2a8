// Everything the control panel asks of the desktop outside COM: message
// boxes, the readiness pause, the shell, the sound test and the file-open
// dialog. They pass through one table so that tests record them instead of
// blocking on a modal box or waiting seconds.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

struct DesktopCalls {
    int (*messageBox)(HWND owner, const char* text, const char* caption, UINT type);
    void (*pause)(DWORD milliseconds);
    // Opens a file or an address with the system's handler for it.
    void (*shellOpen)(HWND owner, const char* target);
    // Starts playing a wave file and returns at once.
    void (*playSound)(const char* path);
    // The file-open dialog for wave files; true, with the chosen full path,
    // when the user confirms.
    bool (*pickWaveFile)(HWND owner, const std::wstring& initialPath, std::wstring* chosen);
};

// The table the control panel calls through; it starts as SystemDesktop().
DesktopCalls& Desktop();
const DesktopCalls& SystemDesktop();

} // namespace vx
