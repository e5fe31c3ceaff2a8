// The one text form of a list of sites: plain host names, one per line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vx {

// As many sites as the settings service stores in one list.
constexpr size_t kMaxAllowedSites = 4096;

// Letters, digits and hyphens in labels of 1 to 63 characters, a hyphen at
// neither end, at most 253 characters in all, in lower case.
bool IsPlainHostName(const std::wstring& name);

// Reads sites, one per line: blank lines and the spaces around a name are
// ignored, names are lower-cased and repeats dropped. A name that is not a
// plain host name, or more than kMaxAllowedSites names, answer E_INVALIDARG
// with `sites` untouched; with `skipInvalid` such names are left out instead
// (a stored list, which any writer of the settings may have filled).
HRESULT ParseSiteList(const std::wstring& text, std::vector<std::wstring>* sites,
                      bool skipInvalid = false);

// The sites, one per line, "\r\n" between them.
std::wstring JoinSiteList(const std::vector<std::wstring>& sites);

} // namespace vx
