// The agent's client of the favourites reader: walks a list of favourites
// (and, through temporary clients, its sub-folders) late-bound.
#pragma once

#include "../common/DispatchObject.h"

#include <string>

namespace vx {

class Marklor : public DispatchObject {
  public:
    static constexpr const wchar_t* kProgId = L"Marklore.Marklore.1";

    // Creates the reader over the whole favourites tree (in-process); on
    // failure logs "Marklor Creation Error..." and holds no reference.
    void CreateReader();

    // Whether a (lower-case) host lies on the site of a favourite of this
    // list: the favourite's site or one of its sub-domains.
    bool IsFavorite(const std::wstring& host);

  private:
    std::wstring ReadText(const wchar_t* member);
    HRESULT Step(const wchar_t* member);
};

} // namespace vx
