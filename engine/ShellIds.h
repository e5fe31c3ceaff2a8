// Platform identifiers the engine needs, declared here so that the engine
// does not pull in the platform's shell headers (their event interfaces
// would clash with the dual forms in the engine's type library).
#pragma once

#include <windows.h>

namespace vx {

// The shell window collection's class and interface.
inline constexpr GUID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
inline constexpr GUID kIidIShellWindows = {
    0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};

constexpr const wchar_t* kShellWindowsProgId = L"Shell.FolderView.1";
constexpr const wchar_t* kBrowserProgId = L"InternetExplorer.Application.1";

// Class contexts used by the tracker.
constexpr DWORD kAllContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                               CLSCTX_REMOTE_SERVER; // 23

} // namespace vx
