#include "EmptyConnectionPoints.h"

#include "ComObject.h"

#include <olectl.h>

namespace vx {

namespace {

class EmptyConnectionPointEnum : public ComObject<EmptyConnectionPointEnum, IEnumConnectionPoints> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable() {
        static const QITAB table[] = {QITABENT(EmptyConnectionPointEnum, IEnumConnectionPoints),
                                      {}};
        return table;
    }
    explicit EmptyConnectionPointEnum(IUnknown* outer) : ComObject(outer) {}

    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (count > 1 && !fetched) return E_POINTER;
        if (count > 0 && !points) return E_POINTER;
        return count == 0 ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
    STDMETHODIMP Reset() override { return S_OK; }
    STDMETHODIMP Clone(IEnumConnectionPoints** ppEnum) override {
        return EnumNoConnectionPoints(ppEnum);
    }
};

} // namespace

HRESULT EnumNoConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return CreateComObject<EmptyConnectionPointEnum>(nullptr, IID_IEnumConnectionPoints,
                                                     reinterpret_cast<void**>(ppEnum));
}

HRESULT FindNoConnectionPoint(IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    return CONNECT_E_NOCONNECTION;
}

} // namespace vx
