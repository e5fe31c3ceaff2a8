// Narrow text of the control panel in the ANSI code page. Widening is
// common/TextForms.h's WidenText.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

// Converts without best-fit look-alikes: a character the code page lacks
// becomes '?', which no file name can hold, so a converted path never names
// a different file. Returns false when anything was replaced that way.
inline bool ToCodePage(const wchar_t* text, size_t length, std::string* out) {
    out->clear();
    if (!text || length == 0) return true;
    // With UTF-8 as the ANSI code page everything converts, and the call
    // refuses both the flag and the replacement arguments.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int wide = static_cast<int>(length);
    int n = WideCharToMultiByte(CP_ACP, flags, text, wide, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    BOOL replaced = FALSE;
    WideCharToMultiByte(CP_ACP, flags, text, wide, &(*out)[0], n, utf8 ? nullptr : "?",
                        utf8 ? nullptr : &replaced);
    return !replaced;
}

inline bool ToCodePage(const std::wstring& text, std::string* out) {
    return ToCodePage(text.data(), text.size(), out);
}

} // namespace vx
