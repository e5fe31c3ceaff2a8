#pragma once

#include "common/Scoped.h"

#include <optional>
#include <string>
#include <utility>

namespace vx::test {

inline bool KeyExists(HKEY root, const wchar_t* path) {
    RegKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

inline std::optional<DWORD> ReadDword(HKEY root, const wchar_t* path, const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(root, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

inline std::optional<std::wstring> ReadText(HKEY root, const wchar_t* path, const wchar_t* name) {
    wchar_t text[2048];
    DWORD size = sizeof text;
    if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text, wcsnlen(text, size / sizeof(wchar_t)));
}

// As the ANSI calls see it (strings narrowed).
inline std::optional<std::string> ReadBytes(HKEY root, const char* path, const char* name,
                                            DWORD* type = nullptr) {
    std::string data(70000, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    RegKey key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.Put()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), name, nullptr, type, reinterpret_cast<BYTE*>(&data[0]),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

inline LONG WriteBytes(HKEY root, const char* path, const char* name, DWORD type,
                       const std::string& data) {
    return RegSetKeyValueA(root, path, name, type, data.data(), static_cast<DWORD>(data.size()));
}

// Put back as it was afterwards; the shallowest key the test made goes with it.
struct ScopedText {
    ScopedText(HKEY root, std::wstring path, const wchar_t* name)
        : root(root), path(std::move(path)), name(name),
          old(ReadText(root, this->path.c_str(), name)) {
        for (size_t end = 0; made.empty() && end != std::wstring::npos;) {
            end = this->path.find(L'\\', end + 1);
            if (!KeyExists(root, this->path.substr(0, end).c_str()))
                made = this->path.substr(0, end);
        }
    }
    ~ScopedText() {
        if (old)
            Write(*old);
        else if (!made.empty())
            RegDeleteTreeW(root, made.c_str());
        else
            Delete();
    }
    ScopedText(const ScopedText&) = delete;
    ScopedText& operator=(const ScopedText&) = delete;
    void Write(const std::wstring& text) {
        RegSetKeyValueW(root, path.c_str(), name, REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void Delete() { RegDeleteKeyValueW(root, path.c_str(), name); }
    HKEY root;
    std::wstring path;
    const wchar_t* name;
    std::optional<std::wstring> old;
    std::wstring made;
};

} // namespace vx::test
