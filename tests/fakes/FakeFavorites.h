// The favourites reader over one list: First and Next succeed while an item
// is current and fail past the end.
#pragma once

#include "tests/browserdouble/NamedDispatch.h"

#include <string>
#include <vector>

namespace vx::fakes {

using browserdouble::Call;
using browserdouble::Member;

// A favourite, or a folder (one with children).
struct Favorite {
    std::wstring name, url;
    std::vector<Favorite> children = {};
};

class FakeFavorites : public browserdouble::NamedDispatch<FakeFavorites, IDispatch> {
  public:
    static const Member<FakeFavorites> kMembers[];
    explicit FakeFavorites(const std::vector<Favorite>* items) : items(*items) {}

    // The current item; an empty one past the end.
    const Favorite& Item() const {
        static const Favorite none;
        return at < items.size() ? items[at] : none;
    }
    HRESULT MoveTo(size_t item) {
        at = item;
        return at < items.size() ? S_OK : E_FAIL;
    }

    const std::vector<Favorite>& items;
    size_t at = SIZE_MAX; // before First
};

inline const Member<FakeFavorites> FakeFavorites::kMembers[] = {
    {L"First", [](FakeFavorites& f, Call&) { return f.MoveTo(0); }},
    {L"Next", [](FakeFavorites& f, Call&) { return f.MoveTo(std::min(f.at, f.items.size()) + 1); }},
    {L"Name", [](FakeFavorites& f, Call& c) { return c.Return(f.Item().name); }},
    {L"URL", [](FakeFavorites& f, Call& c) { return c.Return(f.Item().url); }},
    {L"Group",
     [](FakeFavorites& f, Call& c) {
         ComPtr<FakeFavorites> folder;
         if (!f.Item().children.empty())
             folder = ComPtr<FakeFavorites>(new (std::nothrow) FakeFavorites(&f.Item().children));
         return c.Return(static_cast<IDispatch*>(folder.Get()));
     }},
    {},
};

} // namespace vx::fakes
