#include "DoubleRegistration.h"

#include "DoubleIds.h"

#include "common/Scoped.h"

#include <optional>
#include <vector>

namespace vx::browserdouble {

namespace {

struct Entry {
    std::wstring key; // under HKEY_CLASSES_ROOT
    std::wstring name;
    std::wstring value;
    bool displaces; // the platform's value is kept aside and put back
};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClsidKey(const GUID& clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

// Where displaced values wait for unregistration.
std::wstring StoreKey() {
    return ClsidKey(kClsidDoubleScript) + L"\\Displaced";
}

std::vector<std::wstring> OwnKeys() {
    return {ClsidKey(kClsidDoubleBrowser), ClsidKey(kClsidDoubleShellWindows),
            ClsidKey(kClsidDoubleScript), kScriptProgId};
}

std::vector<Entry> Entries(const std::wstring& exePath) {
    std::wstring server = L"\"" + exePath + L"\"";
    std::wstring folder = exePath.substr(0, exePath.find_last_of(L'\\') + 1);
    std::wstring inproc = ClsidKey(kClsidShellWindows) + L"\\InprocServer32";
    return {
        {ClsidKey(kClsidDoubleBrowser), L"", L"Browser double: browser window", false},
        {ClsidKey(kClsidDoubleBrowser) + L"\\LocalServer32", L"", server, false},
        {ClsidKey(kClsidDoubleShellWindows), L"", L"Browser double: shell windows", false},
        {ClsidKey(kClsidDoubleShellWindows) + L"\\LocalServer32", L"", server, false},
        {ClsidKey(kClsidDoubleScript), L"", L"Browser double: script", false},
        {ClsidKey(kClsidDoubleScript) + L"\\LocalServer32", L"", server, false},
        {ClsidKey(kClsidDoubleScript) + L"\\ProgID", L"", kScriptProgId, false},
        {std::wstring(kScriptProgId) + L"\\CLSID", L"", GuidText(kClsidDoubleScript), false},
        {std::wstring(kBrowserProgId) + L"\\CLSID", L"", GuidText(kClsidDoubleBrowser), true},
        {std::wstring(kShellWindowsProgId) + L"\\CLSID", L"", GuidText(kClsidDoubleShellWindows),
         true},
        // The platform's class is served out of process and fires no events;
        // an in-process server takes precedence in the agent's contexts.
        {inproc, L"", folder + kForwardDll, true},
        {inproc, L"ThreadingModel", L"Apartment", true},
    };
}

HRESULT SetValue(const std::wstring& key, const std::wstring& name, DWORD type,
                 const std::wstring& data) {
    return HRESULT_FROM_WIN32(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name.c_str(), type,
                                              data.c_str(),
                                              static_cast<DWORD>((data.size() + 1) * 2)));
}

std::optional<std::wstring> ReadValue(const std::wstring& key, const std::wstring& name,
                                      DWORD* type = nullptr) {
    DWORD size = 0;
    DWORD kind = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &kind,
                     nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(size / 2 + 1, L'\0');
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &kind,
                     &text[0], &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(size / 2);
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (type) *type = kind;
    return text;
}

// The outermost key of `path` that does not exist yet, or "" when all do.
std::wstring TopMissingKey(const std::wstring& path) {
    for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
        std::wstring prefix = path.substr(0, end);
        RegKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, prefix.c_str(), 0, KEY_READ, key.Put()) !=
            ERROR_SUCCESS)
            return prefix;
        if (end == std::wstring::npos) return L"";
    }
}

std::wstring SavedName(const Entry& entry) {
    return entry.key + L"\\" + entry.name;
}

// A value that was there is kept with its type; one that was not is kept as
// REG_NONE naming the key to delete ("" for the value alone).
HRESULT SaveDisplaced(const Entry& entry) {
    if (ReadValue(StoreKey(), SavedName(entry))) return S_OK; // the first registration's
    DWORD type = 0;
    if (auto old = ReadValue(entry.key, entry.name, &type); old && type != REG_NONE)
        return SetValue(StoreKey(), SavedName(entry), type, *old);
    return SetValue(StoreKey(), SavedName(entry), REG_NONE, TopMissingKey(entry.key));
}

void RestoreDisplaced(const Entry& entry) {
    DWORD type = 0;
    auto saved = ReadValue(StoreKey(), SavedName(entry), &type);
    if (!saved) return;
    if (type != REG_NONE)
        SetValue(entry.key, entry.name, type, *saved);
    else if (saved->empty())
        RegDeleteKeyValueW(HKEY_CLASSES_ROOT, entry.key.c_str(), entry.name.c_str());
    else
        RegDeleteTreeW(HKEY_CLASSES_ROOT, saved->c_str());
}

} // namespace

HRESULT RegisterDouble(const std::wstring& exePath) {
    for (const Entry& entry : Entries(exePath)) {
        HRESULT hr = entry.displaces ? SaveDisplaced(entry) : S_OK;
        if (SUCCEEDED(hr)) hr = SetValue(entry.key, entry.name, REG_SZ, entry.value);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT UnregisterDouble() {
    auto entries = Entries(L"");
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->displaces) RestoreDisplaced(*it);
    for (const auto& key : OwnKeys())
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return S_OK;
}

} // namespace vx::browserdouble
