#include "Registrar.h"

#include "Scoped.h"
#include "TypeLibrary.h"

#include <oleauto.h>

namespace vx {

namespace {

HRESULT WriteRow(const RegistryEntry& row, const std::string& modulePath,
                 const std::string& moduleCommand) {
    RegKey key;
    LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, row.key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_WRITE, nullptr, key.Put(), nullptr);
    if (err != ERROR_SUCCESS) return HRESULT_FROM_WIN32(err);
    const char* text = (row.flags & kRegModulePath)      ? modulePath.c_str()
                       : (row.flags & kRegModuleCommand) ? moduleCommand.c_str()
                                                         : row.value;
    if (!text) return S_OK;
    err = RegSetValueExA(key.Get(), row.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                         static_cast<DWORD>(strlen(text) + 1));
    return HRESULT_FROM_WIN32(err);
}

void DeleteKeyTree(const char* name) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, name);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, name);
}

} // namespace

std::string ModuleFileName() {
    // The registry entries are written through the ANSI calls.
    std::wstring path = OwnModulePath();
    if (path.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n - 1));
    return narrow;
}

namespace {

// The short form of a path, or "" where the file system gives none.
std::string ShortPath(const std::string& longPath) {
    DWORD n = GetShortPathNameA(longPath.c_str(), nullptr, 0);
    if (n == 0) return std::string();
    std::string shortPath(n, '\0');
    DWORD written = GetShortPathNameA(longPath.c_str(), &shortPath[0], n);
    if (written == 0 || written >= n) return std::string();
    shortPath.resize(written);
    return shortPath;
}

} // namespace

// The path is written as the registry value itself, so a single quote in it
// stays single: doubling belongs to registrar script syntax, and a doubled
// quote in LocalServer32 would name a file that does not exist.
std::string ModuleServerPath() {
    std::string longPath = ModuleFileName();
    std::string shortPath = longPath.empty() ? longPath : ShortPath(longPath);
    return shortPath.empty() ? longPath : shortPath;
}

std::string CommandLinePath(const std::string& longPath) {
    // Where short names are switched off, the "short" form is the long one.
    std::string shortPath = ShortPath(longPath);
    if (!shortPath.empty() && shortPath.find(' ') == std::string::npos) return shortPath;
    return "\"" + longPath + "\"";
}

HRESULT WriteRegistryTable(const RegistryTable& table) {
    for (size_t i = 0; i < table.count; ++i) {
        if (table.entries[i].flags & kRegReplace) DeleteKeyTree(table.entries[i].key);
    }
    const std::string modulePath = ModuleServerPath();
    const std::string moduleCommand = CommandLinePath(ModuleFileName());
    for (size_t i = 0; i < table.count; ++i) {
        HRESULT hr = WriteRow(table.entries[i], modulePath, moduleCommand);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void RemoveRegistryTable(const RegistryTable& table) {
    for (size_t i = 0; i < table.count; ++i) DeleteKeyTree(table.entries[i].key);
}

// Library 1 must be there; the numbers after it end at the first missing one.
HRESULT RegisterOwnTypeLibrary() {
    for (UINT index = 1; index <= kMaxOwnTypeLibs; ++index) {
        ComPtr<ITypeLib> lib;
        std::wstring path = OwnTypeLibPath(index);
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put());
        if (FAILED(hr)) return index == 1 ? hr : S_OK;
        hr = RegisterTypeLib(lib.Get(), &path[0], nullptr);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT UnregisterOwnTypeLibrary() {
    for (UINT index = 1; index <= kMaxOwnTypeLibs; ++index) {
        ComPtr<ITypeLib> lib;
        HRESULT hr = LoadOwnTypeLib(lib.Put(), index);
        if (FAILED(hr)) return index == 1 ? hr : S_OK;
        TLIBATTR* attr = nullptr;
        hr = lib->GetLibAttr(&attr);
        if (FAILED(hr)) return hr;
        TLIBATTR library = *attr;
        lib->ReleaseTLibAttr(attr);
        // A library that is not registered is already as unregistration leaves it.
        ComPtr<ITypeLib> registered;
        if (FAILED(LoadRegTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum,
                                  library.lcid, registered.Put())))
            continue;
        registered.Reset();
        hr = UnRegisterTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum,
                               library.lcid, library.syskind);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

} // namespace vx
