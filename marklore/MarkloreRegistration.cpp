#include "MarkloreRegistration.h"

#include "MarkloreLib.h"
#include "Scoped.h"
#include "TypeLibrary.h"

#include <string>

namespace vx {

namespace {

const wchar_t kProgId[] = L"Marklore.Marklore.1";
const wchar_t kIndependentProgId[] = L"Marklore.Marklore";
const wchar_t kClassName[] = L"Marklore Class";

struct RegValue {
    std::wstring key;    // under HKEY_CLASSES_ROOT
    const wchar_t* name; // null for the key's default value
    std::wstring data;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKey() {
    return L"CLSID\\" + GuidText(CLSID_Marklore);
}

HRESULT WriteValue(const RegValue& value) {
    RegKey key;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.Put(), nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    auto bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
    rc = RegSetValueExW(key.Get(), value.name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.data.c_str()), bytes);
    return HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteTree(const std::wstring& key) {
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT RegisterTypeLibrary(std::wstring modulePath) {
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, lib.Put());
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(lib.Get(), &modulePath[0], nullptr);
}

HRESULT UnregisterTypeLibrary() {
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadOwnTypeLib(lib.Put());
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    TLIBATTR copy = *attr;
    lib->ReleaseTLibAttr(attr);

    // Unregistering a library that is not registered is not an error here.
    ComPtr<ITypeLib> registered;
    if (FAILED(LoadRegTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                              registered.Put())))
        return S_OK;
    registered.Reset();
    return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                             copy.syskind);
}

} // namespace

HRESULT RegisterMarklore() {
    std::wstring modulePath = OwnModulePath();
    if (modulePath.empty()) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring classKey = ClassKey();
    const std::wstring clsid = GuidText(CLSID_Marklore);
    const RegValue values[] = {
        {classKey, nullptr, kClassName},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {classKey + L"\\VersionIndependentProgID", nullptr, kIndependentProgId},
        {classKey + L"\\InprocServer32", nullptr, modulePath},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\TypeLib", nullptr, GuidText(LIBID_MARKLORELib)},
        {kProgId, nullptr, kClassName},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, clsid},
        {kIndependentProgId, nullptr, kClassName},
        {std::wstring(kIndependentProgId) + L"\\CLSID", nullptr, clsid},
        {std::wstring(kIndependentProgId) + L"\\CurVer", nullptr, kProgId},
    };
    HRESULT hr = S_OK;
    for (const RegValue& value : values) {
        hr = WriteValue(value);
        if (FAILED(hr)) break;
    }
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(modulePath);
    if (FAILED(hr)) UnregisterMarklore();
    return hr;
}

HRESULT UnregisterMarklore() {
    HRESULT result = UnregisterTypeLibrary();
    for (const std::wstring& key :
         {ClassKey(), std::wstring(kProgId), std::wstring(kIndependentProgId)}) {
        HRESULT hr = DeleteTree(key);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

} // namespace vx
