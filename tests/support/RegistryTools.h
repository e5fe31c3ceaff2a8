// Registry values read and written directly, one call each, to check what
// the programs stored and to prepare what they read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vx::test {

bool KeyExists(HKEY root, const wchar_t* path);
std::optional<DWORD> ReadDword(HKEY root, const wchar_t* path, const wchar_t* name);
std::optional<std::wstring> ReadText(HKEY root, const wchar_t* path, const wchar_t* name);
// The raw data as the ANSI calls see it (strings narrowed), and its type.
std::optional<std::string> ReadBytes(HKEY root, const char* path, const char* name,
                                     DWORD* type = nullptr);
// These create the key when it is missing.
LONG WriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value);
LONG WriteText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text);
LONG WriteBytes(HKEY root, const char* path, const char* name, DWORD type, const std::string& data);
LONG DeleteValue(HKEY root, const wchar_t* path, const wchar_t* name);

} // namespace vx::test
