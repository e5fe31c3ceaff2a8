#include "FakeFavorites.h"

namespace vx::fakes {

const QITAB* FakeFavorites::QiTable() {
    static const QITAB table[] = {QITABENT(FakeFavorites, IDispatch), {}};
    return table;
}

FakeFavorites::FakeFavorites(std::shared_ptr<const std::vector<Favorite>> items, int* reads)
    : items_(std::move(items)), reads_(reads) {}

HRESULT FakeFavorites::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                              EXCEPINFO*, UINT*) {
    const Favorite* item = started_ && position_ < items_->size() ? &(*items_)[position_] : nullptr;
    switch (id) {
    case kFirst:
        started_ = true;
        position_ = 0;
        if (reads_) ++*reads_;
        return items_->empty() ? E_FAIL : S_OK;
    case kNext:
        if (!item) return E_FAIL;
        ++position_;
        return position_ < items_->size() ? S_OK : E_FAIL;
    case kName:
    case kUrl:
        return browserdouble::ReturnText(result,
                                         item ? (id == kName ? item->name : item->url) : L"");
    case kGroup: {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = nullptr;
        if (item && item->isFolder) {
            auto* folder = new FakeFavorites(
                std::make_shared<const std::vector<Favorite>>(item->children), reads_);
            folder->AddRef();
            V_DISPATCH(result) = folder;
        }
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace vx::fakes
