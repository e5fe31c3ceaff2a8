// The sink on one Internet Explorer window's browser events.
#pragma once

#include "common/ComObject.h"

#include "EngineEvents.h"
#include "EventSource.h"

namespace vx {

class Explorer;

class WebBrowserEvents2
    : public ComObject<WebBrowserEvents2, DWebBrowserEvents2, ISupportErrorInfo>,
      public TypeInfoDispatch<WebBrowserEvents2, DWebBrowserEvents2, &IID_DWebBrowserEvents2,
                              kEngineTypeLib> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable();
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    explicit WebBrowserEvents2(IUnknown* outer = nullptr);

    // The window record to tell; cleared when the record goes.
    void SetOwner(Explorer* owner) { owner_ = owner; }
    Explorer* Owner() const { return owner_; }

    VX_TYPEINFO_DISPATCH_METHODS()

    STDMETHODIMP BeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT* flags,
                                 VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers,
                                 VARIANT_BOOL* cancel) override;
    STDMETHODIMP NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel) override;
    STDMETHODIMP NavigateComplete2(IDispatch* pDisp, VARIANT* url) override;
    STDMETHODIMP OnQuit() override;
    STDMETHODIMP WindowSetResizable(VARIANT_BOOL resizable) override;
    STDMETHODIMP NewWindow3(IDispatch** ppDisp, VARIANT_BOOL* cancel, ULONG flags, BSTR urlContext,
                            BSTR url) override;

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  private:
    Explorer* owner_ = nullptr;
};

} // namespace vx
