// Where the control panel finds its pages: the install folder below the
// Program Files folder.
#pragma once

#include <string>

namespace vx {

// The address the control panel's browser shows: "file://" and the page's
// plain path, backslashes and all. Empty when it would not fit in MAX_PATH
// characters: a cut address could name some other file.
std::string PageAddress();

// The help page's plain path, or empty when it would not fit in MAX_PATH.
std::string HelpPagePath();

// Whether url, in any form the browser reports it, is the control panel's
// own page: a "file:" URL naming the same installed file, compared as full
// paths without regard to case.
bool IsPanelPage(const std::wstring& url);

// Whether the control panel's browser may show url: its own page, the help
// page, or the blank page it shows when its own page has no address.
bool IsPanelAddress(const std::wstring& url);

} // namespace vx
