#include "DoubleRegistration.h"

#include "DoubleIds.h"

#include "common/Scoped.h"

#include <vector>

namespace vx::browserdouble {

namespace {

// The platform's browser application class.
constexpr CLSID kClsidInternetExplorer = {
    0x0002DF01, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// Set when registration made the ProgID the agent asks for, so that
// unregistration takes it away again.
constexpr const wchar_t* kMadeProgId = L"MadeFolderViewProgId";

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClsidKey(const GUID& clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

HRESULT SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    return HRESULT_FROM_WIN32(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ,
                                              text.c_str(),
                                              static_cast<DWORD>((text.size() + 1) * 2)));
}

bool KeyExists(const std::wstring& path) {
    RegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// A TreatAs key on a platform class makes every creation of it make the
// double's class instead; the platform's own registration stays untouched.
const std::wstring kTreatAs[] = {ClsidKey(kClsidInternetExplorer) + L"\\TreatAs",
                                 ClsidKey(kClsidShellWindows) + L"\\TreatAs"};

} // namespace

HRESULT RegisterDouble(const std::wstring& exePath) {
    const std::wstring server = L"\"" + exePath + L"\"";
    const std::wstring script = ClsidKey(kClsidDoubleScript);
    const GUID* doubles[] = {&kClsidDoubleBrowser, &kClsidDoubleShellWindows, &kClsidDoubleScript};
    HRESULT hr = S_OK;
    for (const GUID* clsid : doubles)
        if (SUCCEEDED(hr)) hr = SetText(ClsidKey(*clsid) + L"\\LocalServer32", nullptr, server);
    if (SUCCEEDED(hr))
        hr = SetText(std::wstring(kScriptProgId) + L"\\CLSID", nullptr,
                     GuidText(kClsidDoubleScript));
    for (int i = 0; i < 2 && SUCCEEDED(hr); ++i)
        hr = SetText(kTreatAs[i], nullptr, GuidText(*doubles[i]));
    // The agent asks for this ProgID only to learn that the shell is there.
    const std::wstring progId = std::wstring(kShellWindowsProgId) + L"\\CLSID";
    if (SUCCEEDED(hr) && !KeyExists(kShellWindowsProgId)) {
        hr = SetText(progId, nullptr, GuidText(kClsidShellWindows));
        if (SUCCEEDED(hr)) hr = SetText(script, kMadeProgId, L"1");
    }
    return hr;
}

HRESULT UnregisterDouble() {
    const std::wstring script = ClsidKey(kClsidDoubleScript);
    RegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, script.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS &&
        RegQueryValueExW(key.Get(), kMadeProgId, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kShellWindowsProgId);
    key.Reset();
    for (const std::wstring& treatAs : kTreatAs)
        RegDeleteTreeW(HKEY_CLASSES_ROOT, treatAs.c_str());
    for (const std::wstring& own :
         {ClsidKey(kClsidDoubleBrowser), ClsidKey(kClsidDoubleShellWindows), script,
          std::wstring(kScriptProgId)})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, own.c_str());
    return S_OK;
}

} // namespace vx::browserdouble
