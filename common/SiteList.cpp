#include "SiteList.h"

#include "TextForms.h"

#include <algorithm>

namespace vx {

namespace {

std::wstring Trimmed(const std::wstring& text, size_t begin, size_t end) {
    while (begin < end && iswspace(text[begin]))
        ++begin;
    while (end > begin && iswspace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

// Nothing else can stand for a site on the host alone.
bool IsPlainHostName(const std::wstring& name) {
    if (name.empty() || name.size() > 253) return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find(L'.', start);
        if (end == std::wstring::npos) end = name.size();
        const size_t length = end - start;
        if (length == 0 || length > 63 || name[start] == L'-' || name[end - 1] == L'-')
            return false;
        for (size_t i = start; i < end; ++i) {
            const wchar_t c = name[i];
            if (!((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-')) return false;
        }
        if (end == name.size()) return true;
        start = end + 1;
    }
}

HRESULT ParseSiteList(const std::wstring& text, std::vector<std::wstring>* sites,
                      bool skipInvalid) {
    std::vector<std::wstring> read;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring name = LowerText(Trimmed(text, start, end));
        start = end + 1;
        if (name.empty() || std::find(read.begin(), read.end(), name) != read.end()) continue;
        if (!IsPlainHostName(name) || read.size() == kMaxAllowedSites) {
            if (skipInvalid) continue;
            return E_INVALIDARG;
        }
        read.push_back(name);
    }
    *sites = std::move(read);
    return S_OK;
}

std::wstring JoinSiteList(const std::vector<std::wstring>& sites) {
    std::wstring text;
    for (const std::wstring& site : sites) {
        if (!text.empty()) text += L"\r\n";
        text += site;
    }
    return text;
}

} // namespace vx
