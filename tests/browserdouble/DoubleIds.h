// Identifiers of the browser double: its own classes, and the platform's
// that it stands in for inside a test prefix.
#pragma once

#include <windows.h>

namespace vx::browserdouble {

// A browser application object (what the platform's browser class is
// treated as while the double is registered).
inline constexpr CLSID kClsidDoubleBrowser = {
    0xB4A00AEE, 0x7881, 0x4969, {0xA5, 0x10, 0x62, 0xF3, 0x35, 0x7C, 0x44, 0xFD}};
// The process's one shell window collection.
inline constexpr CLSID kClsidDoubleShellWindows = {
    0x5D789500, 0xAA32, 0x4D8E, {0xA3, 0xCE, 0xC6, 0x90, 0xD4, 0xE1, 0x0E, 0x87}};
// The control surface that scripts and tests drive.
inline constexpr CLSID kClsidDoubleScript = {
    0x9921B6B1, 0x7399, 0x4093, {0xB8, 0xE5, 0x61, 0x9C, 0x8F, 0x14, 0xC6, 0x5C}};

inline constexpr CLSID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};

constexpr const wchar_t* kScriptProgId = L"BrowserDouble.Script";
constexpr const wchar_t* kShellWindowsProgId = L"Shell.FolderView.1";

constexpr const wchar_t* kBrowserFullName = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";
constexpr const wchar_t* kFolderFullName = L"C:\\windows\\explorer.exe";

// Browser and shell event DISPIDs.
enum : DISPID {
    kDispWindowRegistered = 200,
    kDispWindowRevoked = 201,
    kDispBeforeNavigate2 = 250,
    kDispNewWindow2 = 251,
    kDispNavigateComplete2 = 252,
    kDispOnQuit = 253,
    kDispWindowSetResizable = 262,
    kDispNewWindow3 = 273,
};

} // namespace vx::browserdouble
