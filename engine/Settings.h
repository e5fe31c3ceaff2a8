// The agent's settings, as the settings service stores them under the
// product's key.
#pragma once

#include "common/SiteList.h"

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

} // namespace vx
