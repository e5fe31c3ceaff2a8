// The function object a page element calls for its onclick: it passes the
// element's id on to the page's listener.
#pragma once

#include "HtmlPage.h"

#include "common/ComObject.h"

#include <string>

namespace vx {

class ElementClick : public ComObject<ElementClick, IDispatch> {
  public:
    static const QITAB* QiTable();
    ElementClick(std::wstring id, PageEvents* events) : id_(std::move(id)), events_(events) {}

    // The element may hold us after the page has gone; then clicks go nowhere.
    void Detach() { events_ = nullptr; }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override;

  private:
    std::wstring id_;
    PageEvents* events_;
};

} // namespace vx
