#include "FakeFavorites.h"

namespace vx::fakes {

namespace {
enum : DISPID { kFirst = 1, kNext, kName, kUrl, kGroup };
}

FakeFavorites::FakeFavorites(std::shared_ptr<const std::vector<Favorite>> items, int* reads)
    : FakeDispatch(IID_NULL,
                   {{L"First", kFirst}, {L"Next", kNext}, {L"Name", kName}, {L"URL", kUrl},
                    {L"Group", kGroup}}),
      items_(std::move(items)), reads_(reads) {}

HRESULT FakeFavorites::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                              EXCEPINFO*, UINT*) {
    static const wchar_t* const names[] = {L"", L"First", L"Next", L"Name", L"URL", L"Group"};
    if (id >= kFirst && id <= kGroup) {
        if (HRESULT hr = Failure(names[id]); FAILED(hr)) return hr;
    }
    bool current = started_ && position_ < items_->size();
    switch (id) {
    case kFirst:
        started_ = true;
        position_ = 0;
        if (reads_) ++*reads_;
        return position_ < items_->size() ? S_OK : E_FAIL;
    case kNext:
        if (!current) return E_FAIL;
        ++position_;
        return position_ < items_->size() ? S_OK : E_FAIL;
    case kName:
    case kUrl: {
        const Favorite* item = current ? &(*items_)[position_] : nullptr;
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(item ? (id == kName ? item->name : item->url).c_str() : L"");
        return S_OK;
    }
    case kGroup: {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = nullptr;
        if (current && (*items_)[position_].isFolder) {
            auto children =
                std::make_shared<const std::vector<Favorite>>((*items_)[position_].children);
            V_DISPATCH(result) = new FakeFavorites(children, reads_);
        }
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace vx::fakes
