#include "InProcessClass.h"

namespace vx::fakes {

namespace {

std::optional<std::wstring> ReadProgIdClsid(const std::wstring& progId) {
    RegKey key;
    std::wstring path = progId + L"\\CLSID";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t text[64] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

void WriteProgIdClsid(const std::wstring& progId, const std::optional<std::wstring>& clsid) {
    if (!clsid) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, progId.c_str());
        return;
    }
    RegKey key;
    std::wstring path = progId + L"\\CLSID";
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid->c_str()),
                   static_cast<DWORD>((clsid->size() + 1) * sizeof(wchar_t)));
}

std::wstring ClsidText(const CLSID& clsid) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return text;
}

} // namespace

InProcessClass::InProcessClass(const wchar_t* progId, const CLSID& clsid, DWORD context,
                               Creator create)
    : progId_(progId), previous_(ReadProgIdClsid(progId_)), create_(std::move(create)) {
    WriteProgIdClsid(progId_, ClsidText(clsid));
    registered_ = CoRegisterClassObject(clsid, this, context, REGCLS_MULTIPLEUSE, &cookie_);
}

InProcessClass::~InProcessClass() {
    if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
    WriteProgIdClsid(progId_, previous_);
}

HRESULT InProcessClass::QueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT InProcessClass::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ++creations;
    if (FAILED(createResult)) return createResult;
    return create_(riid, ppv);
}

ProgIdOverride::ProgIdOverride(const wchar_t* progId, const CLSID* clsid)
    : progId_(progId), previous_(ReadProgIdClsid(progId_)) {
    if (clsid)
        WriteProgIdClsid(progId_, ClsidText(*clsid));
    else
        WriteProgIdClsid(progId_, std::nullopt);
}

ProgIdOverride::~ProgIdOverride() { WriteProgIdClsid(progId_, previous_); }

} // namespace vx::fakes
