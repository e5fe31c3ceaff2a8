#include "ElementClick.h"

namespace vx {

const QITAB* ElementClick::QiTable() {
    static const QITAB table[] = {QITABENT(ElementClick, IDispatch), {}};
    return table;
}

HRESULT ElementClick::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ElementClick::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                             UINT*) {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    if (events_) {
        ComPtr<ElementClick> keep(this);
        events_->OnElementClick(id_.c_str());
    }
    return S_OK;
}

} // namespace vx
