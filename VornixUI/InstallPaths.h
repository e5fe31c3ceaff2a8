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

} // namespace vx
