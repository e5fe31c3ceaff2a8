#include "RegistryTools.h"

#include "common/Scoped.h"

namespace vx::test {

std::optional<DWORD> ReadDword(HKEY root, const wchar_t* path, const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(root, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::optional<std::wstring> ReadText(HKEY root, const wchar_t* path, const wchar_t* name) {
    DWORD size = 0;
    if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, &text[0], &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

namespace {

LONG Write(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
           DWORD size) {
    RegKey key;
    LONG err =
        RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (err != ERROR_SUCCESS) return err;
    return RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

} // namespace

LONG WriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) {
    return Write(root, path, name, REG_DWORD, &value, sizeof value);
}

LONG WriteText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
    return Write(root, path, name, REG_SZ, text.c_str(),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG DeleteValue(HKEY root, const wchar_t* path, const wchar_t* name) {
    return RegDeleteKeyValueW(root, path, name);
}

} // namespace vx::test
