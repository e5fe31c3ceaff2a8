// The agent's client of the favourites reader: walks a list of favourites
// (and, through temporary clients, its sub-folders) late-bound.
#pragma once

#include "common/DispatchObject.h"
#include "common/Scoped.h"

#include <string>
#include <vector>

namespace vx {

class Marklor : public DispatchObject {
  public:
    static constexpr const wchar_t* kProgId = L"Marklore.Marklore.1";

    // Creates the reader over the whole favourites tree (in-process); on
    // failure logs "Marklor Creation Error..." and holds no reference.
    void CreateReader();

    // Adds the (lower-case) site of every favourite of this list and its
    // sub-folders to `sites`. Answers S_OK when every step succeeded, or
    // the first failure (the walk goes on past a failed item where it can).
    HRESULT ReadSites(std::vector<std::wstring>& sites);

  private:
    std::wstring ReadText(const wchar_t* member, HRESULT& first);
    HRESULT Step(const wchar_t* member);
};

// The sites of the user's favourites, read through the reader once and read
// again only after something in the Favorites folder has changed.
class FavoriteSites {
  public:
    FavoriteSites() = default;
    ~FavoriteSites();
    FavoriteSites(const FavoriteSites&) = delete;
    FavoriteSites& operator=(const FavoriteSites&) = delete;

    // Creates the reader, watches the Favorites folder and reads the sites.
    void Start();
    // Whether a (lower-case) host lies on the site of a favourite: the
    // favourite's site or one of its sub-domains.
    bool IsFavorite(const std::wstring& host);
    void Stop();

  private:
    void Refresh();

    Marklor reader_;
    std::vector<std::wstring> sites_;
    // Whether sites_ is a complete read that no change has outdated; a read
    // that failed is tried again (and its failure logged) at every use.
    bool current_ = false;
    // Signalled on any change below the Favorites folder; without it the
    // sites are read at every use.
    ScopedChangeNotification change_;
};

} // namespace vx
