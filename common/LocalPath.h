// Which names the product may open on a user's behalf.
#pragma once

namespace vx {

// True for a file on this computer: a drive-letter path ("C:\a.wav",
// "C:a.wav") or a relative name ("a.wav", "\Media\a.wav"). False for the
// empty name, a UNC path with either slash ("\\host\share", "//host/share"),
// a device or NT path ("\\?\", "\\.\", "\??\") and a URL ("http:",
// "file:", any scheme). Those reach another computer or a device chosen by
// whoever wrote the name. Without a drive letter no colon is taken at all,
// so no scheme needs to be recognised.
template <typename Char>
bool IsLocalFilePath(const Char* path) {
    auto slash = [](Char c) { return c == Char('\\') || c == Char('/'); };
    if (!path || !path[0]) return false;
    if (slash(path[0]) && slash(path[1])) return false;
    if (slash(path[0]) && path[1] == Char('?') && path[2] == Char('?') && slash(path[3]))
        return false;
    if (((path[0] >= Char('A') && path[0] <= Char('Z')) ||
         (path[0] >= Char('a') && path[0] <= Char('z'))) &&
        path[1] == Char(':'))
        return true;
    for (const Char* c = path; *c; ++c)
        if (*c == Char(':')) return false;
    return true;
}

} // namespace vx
