#pragma once

#include "FakeConnectionPoint.h"

#include <memory>

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
// current and fail past the end.
class FakeFavorites : public FakeDispatch {
  public:
    explicit FakeFavorites(std::shared_ptr<const std::vector<Favorite>> items, int* reads);

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    std::shared_ptr<const std::vector<Favorite>> items_;
    size_t position_ = 0;
    bool started_ = false;
    int* reads_;
};

} // namespace vx::fakes
