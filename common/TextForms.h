// The product's two text conversions between UTF-16 and 8-bit text.
#pragma once

#include <windows.h>

#include <cwctype>
#include <string>

namespace vx {

// Narrowing: each UTF-16 unit below 256 becomes the byte of the same value;
// the text ends before the first unit of 256 or above. A null pointer is the
// empty text. At most maxBytes bytes are produced.
inline std::string NarrowText(const wchar_t* text, size_t length,
                              size_t maxBytes = static_cast<size_t>(-1)) {
    std::string out;
    if (!text) return out;
    for (size_t i = 0; i < length && out.size() < maxBytes; ++i) {
        if (text[i] > 0xFF) break;
        out.push_back(static_cast<char>(text[i]));
    }
    return out;
}

// Narrows up to the first NUL (or the first unit of 256 or above).
inline std::string NarrowText(const wchar_t* text) {
    return NarrowText(text, text ? wcslen(text) : 0);
}

// Widening: 8-bit text in the system ANSI code page.
inline std::wstring WidenText(const char* text, int length) {
    std::wstring out;
    if (!text || length <= 0) return out;
    int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (n <= 0) return out;
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, text, length, &out[0], n);
    return out;
}

inline std::wstring WidenText(const std::string& text) {
    return WidenText(text.data(), static_cast<int>(text.size()));
}

// The engine's one lower-casing of URLs and names.
inline std::wstring LowerText(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

} // namespace vx
