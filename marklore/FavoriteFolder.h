// Reading one folder of the user's favourites.
#pragma once

#include <string>
#include <vector>

namespace vx {

struct Favorite {
    std::wstring name; // folder name, or shortcut file name without ".url"
    std::wstring url;  // empty for a folder
    bool isFolder = false;
};

// The user's Favorites folder, or empty when it is unknown. It is not
// created when missing.
std::wstring FavoritesFolderPath();

// The items of `folder`: its sub-folders, then its internet shortcuts
// (*.url), each group sorted by name without regard to case. Hidden and
// system entries, linked folders and other files are left out, as are a
// shortcut larger than 64 KiB, which is not read, and a shortcut with
// neither name nor URL, which would read as the end of the list. A missing or unreadable folder has no items.
std::vector<Favorite> ReadFavoriteFolder(const std::wstring& folder);

} // namespace vx
