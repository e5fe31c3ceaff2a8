// The agent's settings, as the settings service stores them under the
// product's key, and the one text form of the allowed sites.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vx {

struct Settings {
    LONG MuteAudio = 1;
    std::wstring AudioFileName;
    LONG AllowSameSite = 1;
    LONG KillFixedSize = 1;
    unsigned short BypassKeys = 1;
    LONG AllowUserInitiated = 1;
    LONG NotifyOnBlock = 1;
    // Plain host names in lower case: popups from pages of these sites and
    // their sub-domains are always shown.
    std::vector<std::wstring> AllowedSites;
};

// As many sites as the settings service stores in one list.
constexpr size_t kMaxAllowedSites = 4096;

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
