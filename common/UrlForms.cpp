#include "UrlForms.h"

#include "StatusLog.h"
#include "TextForms.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <vector>

namespace vx {

namespace {

bool HasPrefixNoCase(const std::string& text, const char* prefix) {
    size_t n = strlen(prefix);
    return text.size() >= n && _strnicmp(text.c_str(), prefix, n) == 0;
}

bool HasSuffixNoCase(const std::string& text, const char* suffix) {
    size_t n = strlen(suffix);
    return text.size() >= n && _stricmp(text.c_str() + text.size() - n, suffix) == 0;
}

// The canonical form, or false when the platform cannot make one within
// twice the input's length.
bool Canonicalize(const std::string& url, std::string* out) {
    const size_t length = url.size();
    if (length > (MAXDWORD - 1) / 2) return false;
    // One byte more than announced, so the terminator always fits.
    std::vector<char> buffer(2 * length + 1, '\0');
    DWORD announced = static_cast<DWORD>(2 * length);
    if (!InternetCanonicalizeUrlA(url.c_str(), buffer.data(), &announced,
                                  ICU_DECODE | ICU_BROWSER_MODE))
        return false;
    out->assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return true;
}

// Cracks a URL in place: the parts point into `url`.
bool CrackUrl(const std::string& url, URL_COMPONENTSA* parts) {
    // Non-zero lengths with null pointers ask for pointers into the input.
    *parts = URL_COMPONENTSA{};
    parts->dwStructSize = sizeof *parts;
    parts->dwSchemeLength = 1;
    parts->dwHostNameLength = 1;
    parts->dwUserNameLength = 1;
    parts->dwPasswordLength = 1;
    parts->dwUrlPathLength = 1;
    parts->dwExtraInfoLength = 1;
    return InternetCrackUrlA(url.c_str(), 0, 0, parts) != FALSE;
}

} // namespace

std::wstring CanonicalUrl(const wchar_t* url) {
    const std::string narrow = NarrowText(url);
    std::string text;
    if (!Canonicalize(narrow, &text)) return WidenText(narrow);
    for (char& c : text)
        if (c == '\\') c = '/';
    if (HasPrefixNoCase(text, "file:")) text.insert(5, 1, '/');
    return WidenText(text);
}

std::wstring SiteKey(const wchar_t* url) {
    const std::string narrow = NarrowText(url);

    URL_COMPONENTSA parts;
    if (!CrackUrl(narrow, &parts)) {
        // Read before logging, which makes platform calls of its own.
        DWORD error = GetLastError();
        AddStatusLine("Marklor CrackURL Error...");
        AddErrorText(error);
        return WidenText(narrow);
    }

    std::string key = narrow;
    if (parts.lpszHostName && parts.dwHostNameLength > 0)
        key.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (key.size() <= 3) return std::wstring();

    if (HasSuffixNoCase(key, ".com") || HasSuffixNoCase(key, ".org") ||
        HasSuffixNoCase(key, ".net")) {
        if (key.size() > 4) {
            size_t dot = key.rfind('.', key.size() - 5);
            if (dot != std::string::npos) key.erase(0, dot);
        }
    }
    return WidenText(key);
}

std::wstring UrlHost(const wchar_t* url) {
    const std::string narrow = NarrowText(url);
    URL_COMPONENTSA parts;
    if (!CrackUrl(narrow, &parts) || !parts.lpszHostName || parts.dwHostNameLength == 0)
        return std::wstring();
    return LowerText(WidenText(parts.lpszHostName, static_cast<int>(parts.dwHostNameLength)));
}

bool IsHostOnSite(const std::wstring& host, const std::wstring& siteKey) {
    if (siteKey.size() < 4) return false;
    const std::wstring site = LowerText(siteKey[0] == L'.' ? siteKey.substr(1) : siteKey);
    if (host.size() < site.size() || host.compare(host.size() - site.size(), site.size(), site) != 0)
        return false;
    return host.size() == site.size() || host[host.size() - site.size() - 1] == L'.';
}

} // namespace vx
