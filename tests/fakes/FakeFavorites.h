#pragma once

#include "NamedDispatch.h"

#include "common/ComObject.h"

#include <memory>
#include <string>
#include <vector>

namespace vx::fakes {

// One entry of a favourites tree: a favourite, or a folder with children.
struct Favorite {
    std::wstring name;
    std::wstring url;
    std::vector<Favorite> children;
    bool isFolder = false;
};

inline Favorite Link(std::wstring name, std::wstring url) { return {name, url, {}, false}; }
inline Favorite Folder(std::wstring name, std::vector<Favorite> children) {
    return {name, L"", std::move(children), true};
}

// The favourites reader over one list: First/Next succeed while an item is
// current and fail past the end; `reads` counts the walks begun.
class FakeFavorites : public ComObject<FakeFavorites, IDispatch> {
  public:
    static const QITAB* QiTable();
    FakeFavorites(std::shared_ptr<const std::vector<Favorite>> items, int* reads);

    VX_NAMED_DISPATCH_METHODS(kNames)
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    enum : DISPID { kFirst = 1, kNext, kName, kUrl, kGroup };
    static constexpr browserdouble::DispatchName kNames[] = {
        {L"First", kFirst}, {L"Next", kNext}, {L"Name", kName}, {L"URL", kUrl}, {L"Group", kGroup}};

    std::shared_ptr<const std::vector<Favorite>> items_;
    size_t position_ = 0;
    bool started_ = false;
    int* reads_;
};

} // namespace vx::fakes
