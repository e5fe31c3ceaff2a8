// Marklore: the user's Internet Explorer favourites, one folder per object.
//
// The root object reads the Favorites folder afresh on every First; a Group
// is a new object over one sub-folder, read when its own First is called,
// so the tree is only ever read as deep as a client walks it.
//
// Items come folders first, then shortcuts, each sorted by name without
// regard to case. Late-bound clients see no S_FALSE, so the end of a list is
// an item of its own: First and Next answer S_OK while they land on an item,
// including, once, the end item whose Name and URL are empty and whose Group
// is null; an empty or missing folder gives the end item at First. Next on
// the end item fails with HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS), and so
// does Next before any First. Properties read without a current item answer
// S_OK with empty strings and a null Group.
#pragma once

#include "common/ComObject.h"
#include "FavoriteFolder.h"
#include "MarkloreLib.h"

#include <string>
#include <vector>

namespace vx {

class Marklore : public ComObject<Marklore, IMarklore>,
                 public TypeInfoDispatch<Marklore, IMarklore, &IID_IMarklore> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable();
    // The root object, over the user's Favorites folder.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    explicit Marklore(IUnknown* outer);

    VX_TYPEINFO_DISPATCH_METHODS()

    STDMETHODIMP First() override;
    STDMETHODIMP Next() override;
    STDMETHODIMP get_Name(BSTR* value) override;
    STDMETHODIMP get_URL(BSTR* value) override;
    STDMETHODIMP get_Group(IDispatch** value) override;

  private:
    static HRESULT CreateGroup(const std::wstring& folder, IDispatch** group);
    const Favorite* Current() const;

    bool isRoot_ = true;
    std::wstring folder_;
    std::vector<Favorite> items_;
    bool started_ = false;
    size_t position_ = 0; // items_.size() is the end item
};

} // namespace vx
