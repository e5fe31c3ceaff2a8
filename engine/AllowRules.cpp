#include "AllowRules.h"

#include "common/Scoped.h"
#include "common/TextForms.h"
#include "common/UrlForms.h"

#include <algorithm>
#include <vector>

namespace vx {

bool ReadPlatformText(HKEY root, const char* const* path, const char* value, size_t capacity,
                      std::string& text) {
    RegKey key(root);
    for (const char* const* part = path; *part; ++part) {
        RegKey next;
        if (RegOpenKeyA(key.Get(), *part, next.Put()) != ERROR_SUCCESS) return false;
        key = std::move(next);
    }
    // One spare byte, so that a text filling the whole capacity without its
    // terminating zero is still read as a terminated string.
    std::vector<char> buffer(capacity + 1, '\0');
    DWORD size = static_cast<DWORD>(capacity);
    if (RegQueryValueExA(key.Get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return false;
    buffer[std::min<size_t>(size, capacity)] = '\0';
    text.assign(buffer.data());
    return true;
}

namespace {

std::wstring CanonicalText(const std::string& text) {
    return CanonicalUrl(WidenText(text).c_str());
}

} // namespace

std::wstring StartPageUrl() {
    static const char* const path[] = {"Software", "Microsoft", "Internet Explorer", "Main",
                                        nullptr};
    std::string text;
    if (!ReadPlatformText(HKEY_CURRENT_USER, path, "Start Page", 255, text)) return std::wstring();
    return CanonicalText(text);
}

std::wstring ProgramFilesUrl() {
    static const char* const path[] = {"Software", "Microsoft", "Windows", "CurrentVersion",
                                        nullptr};
    std::string text;
    if (!ReadPlatformText(HKEY_LOCAL_MACHINE, path, "ProgramFilesDir", 260, text))
        return std::wstring();
    return CanonicalText(text);
}

} // namespace vx
