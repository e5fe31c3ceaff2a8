#include "TypeLibrary.h"

#include "Scoped.h"

#include <oleauto.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace vx {

std::wstring OwnModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), &path[0],
                                     static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring OwnTypeLibPath(UINT index) {
    std::wstring path = OwnModulePath();
    if (!path.empty() && index > 1) path += L"\\" + std::to_wstring(index);
    return path;
}

HRESULT LoadOwnTypeLib(ITypeLib** lib, UINT index) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    if (index < 1 || index > kMaxOwnTypeLibs) return TYPE_E_CANTLOADLIBRARY;
    // Deliberately kept until the process ends: type information is asked
    // for on every late-bound call, and the loader's own cache is per name.
    static ITypeLib* cached[kMaxOwnTypeLibs] = {};
    ITypeLib*& kept = cached[index - 1];
    if (!kept) {
        std::wstring path = OwnTypeLibPath(index);
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &kept);
        if (FAILED(hr)) return hr;
    }
    kept->AddRef();
    *lib = kept;
    return S_OK;
}

HRESULT LoadOwnTypeInfo(REFIID iid, ITypeInfo** info, UINT index) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadOwnTypeLib(lib.Put(), index);
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(iid, info);
}

} // namespace vx
