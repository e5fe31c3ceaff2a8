#include "DesktopCalls.h"

#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

namespace vx {

namespace {

int SystemMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxA(owner, text, caption, type);
}

void SystemPause(DWORD milliseconds) {
    Sleep(milliseconds);
}

void SystemShellOpen(HWND owner, const char* target) {
    ShellExecuteA(owner, nullptr, target, nullptr, nullptr, SW_SHOWNORMAL);
}

void SystemPlaySound(const char* path) {
    PlaySoundA(path, nullptr, SND_FILENAME | SND_ASYNC);
}

bool SystemPickWaveFile(HWND owner, const std::wstring& initialPath, std::wstring* chosen) {
    wchar_t file[MAX_PATH] = {};
    // A stored path too long for the dialog's buffer is not offered at all:
    // a cut one would name another file.
    if (initialPath.size() < MAX_PATH) initialPath.copy(file, initialPath.size());
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Wave Files (*.wav)\0*.wav\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"wav";
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_EXTENSIONDIFFERENT | OFN_PATHMUSTEXIST |
                OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) return false;
    *chosen = file;
    return true;
}

const DesktopCalls kSystem = {SystemMessageBox, SystemPause, SystemShellOpen, SystemPlaySound,
                              SystemPickWaveFile};
DesktopCalls gDesktop = kSystem;

} // namespace

DesktopCalls& Desktop() {
    return gDesktop;
}
const DesktopCalls& SystemDesktop() {
    return kSystem;
}

} // namespace vx
