// Addresses the engine always lets through: the browser's start page and
// local pages of installed programs, read from the registry.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

// The canonical form of the Internet Explorer start page, or "" when it is
// not set or does not fit 255 bytes. Read afresh on every call.
std::wstring StartPageUrl();

// The canonical ("file:") form of the Program Files folder, or "" when it is
// not set or does not fit 260 bytes. Read afresh on every call.
std::wstring ProgramFilesUrl();

// Reads a text value below root, opening the keys of `path` one by one.
// Fails (false) when a key or the value is missing or the text (with or
// without its terminating zero) needs more than `capacity` bytes.
bool ReadPlatformText(HKEY root, const char* const* path, const char* value, size_t capacity,
                      std::string& text);

} // namespace vx
