#include "BrowserPage.h"

#include <new>

namespace vx {

HRESULT BrowserPage::Open(HWND parent, const std::wstring& address, PageEvents* events) {
    Close();
    BrowserSite* site = new (std::nothrow) BrowserSite();
    if (!site) return E_OUTOFMEMORY;
    site_ = ComPtr<BrowserSite>(site);
    events_ = events;
    HRESULT hr = site_->Embed(parent, events);
    if (SUCCEEDED(hr)) hr = site_->Navigate(address);
    if (FAILED(hr)) Close();
    return hr;
}

void BrowserPage::Resize(const RECT& area) {
    if (site_) site_->Resize(area);
}

void BrowserPage::Close() {
    for (ComPtr<ElementClick>& click : clicks_)
        click->Detach();
    clicks_.clear();
    if (site_) site_->Unembed();
    site_.Reset();
    events_ = nullptr;
}

bool BrowserPage::TranslateKey(MSG* msg) {
    return site_ && site_->TranslateKey(msg);
}

HRESULT BrowserPage::Element(const wchar_t* id, ComPtr<IHTMLElement>* out) {
    out->Reset();
    if (!site_) return S_FALSE;
    ComPtr<IDispatch> document;
    HRESULT hr = site_->Document(document.Put());
    if (hr != S_OK) return S_FALSE;
    ComPtr<IHTMLDocument3> document3;
    if (FAILED(document.As(IID_IHTMLDocument3, &document3))) return S_FALSE;
    Bstr name(id);
    if (!name.Get()) return E_OUTOFMEMORY;
    hr = document3->getElementById(name.Get(), out->Put());
    if (FAILED(hr)) return hr;
    return *out ? S_OK : S_FALSE;
}

HRESULT BrowserPage::InputElement(const wchar_t* id, ComPtr<IHTMLInputElement>* out) {
    out->Reset();
    ComPtr<IHTMLElement> element;
    HRESULT hr = Element(id, &element);
    if (hr != S_OK) return hr;
    return SUCCEEDED(element.As(IID_IHTMLInputElement, out)) ? S_OK : S_FALSE;
}

// An element with a value: an input element or a text area.
HRESULT BrowserPage::TextBox(const wchar_t* id, ComPtr<IHTMLInputElement>* input,
                             ComPtr<IHTMLTextAreaElement>* area) {
    area->Reset();
    HRESULT hr = InputElement(id, input);
    if (hr != S_FALSE) return hr;
    ComPtr<IHTMLElement> element;
    hr = Element(id, &element);
    if (hr != S_OK) return hr;
    return SUCCEEDED(element.As(IID_IHTMLTextAreaElement, area)) ? S_OK : S_FALSE;
}

HRESULT BrowserPage::ConnectClick(const wchar_t* id) {
    ComPtr<IHTMLElement> element;
    HRESULT hr = Element(id, &element);
    if (hr != S_OK) return hr;
    ElementClick* click = new (std::nothrow) ElementClick(id, events_);
    if (!click) return E_OUTOFMEMORY;
    ComPtr<ElementClick> held(click);
    VARIANT handler;
    V_VT(&handler) = VT_DISPATCH;
    V_DISPATCH(&handler) = click;
    hr = element->put_onclick(handler);
    if (FAILED(hr)) return hr;
    clicks_.push_back(std::move(held));
    return S_OK;
}

HRESULT BrowserPage::GetFlag(const wchar_t* id, PageFlag flag, bool* value) {
    ComPtr<IHTMLInputElement> input;
    HRESULT hr = InputElement(id, &input);
    if (hr != S_OK) return hr;
    VARIANT_BOOL state = VARIANT_FALSE;
    hr = flag == PageFlag::Checked ? input->get_checked(&state) : input->get_indeterminate(&state);
    if (FAILED(hr)) return hr;
    *value = state != VARIANT_FALSE;
    return S_OK;
}

HRESULT BrowserPage::SetFlag(const wchar_t* id, PageFlag flag, bool value) {
    ComPtr<IHTMLInputElement> input;
    HRESULT hr = InputElement(id, &input);
    if (hr != S_OK) return hr;
    const VARIANT_BOOL state = value ? VARIANT_TRUE : VARIANT_FALSE;
    return flag == PageFlag::Checked ? input->put_checked(state) : input->put_indeterminate(state);
}

HRESULT BrowserPage::GetText(const wchar_t* id, PageText text, std::wstring* value) {
    Bstr result;
    HRESULT hr;
    if (text == PageText::Value) {
        ComPtr<IHTMLInputElement> input;
        ComPtr<IHTMLTextAreaElement> area;
        hr = TextBox(id, &input, &area);
        if (hr != S_OK) return hr;
        hr = input ? input->get_value(result.Put()) : area->get_value(result.Put());
    } else {
        ComPtr<IHTMLElement> element;
        hr = Element(id, &element);
        if (hr != S_OK) return hr;
        hr = element->get_innerText(result.Put());
    }
    if (FAILED(hr)) return hr;
    value->assign(result.Text(), result.Length());
    return S_OK;
}

HRESULT BrowserPage::SetText(const wchar_t* id, PageText text, const std::wstring& value) {
    Bstr newText(value.c_str(), static_cast<UINT>(value.size()));
    if (!newText.Get()) return E_OUTOFMEMORY;
    if (text == PageText::Value) {
        ComPtr<IHTMLInputElement> input;
        ComPtr<IHTMLTextAreaElement> area;
        HRESULT hr = TextBox(id, &input, &area);
        if (hr != S_OK) return hr;
        return input ? input->put_value(newText.Get()) : area->put_value(newText.Get());
    }
    ComPtr<IHTMLElement> element;
    HRESULT hr = Element(id, &element);
    if (hr != S_OK) return hr;
    return element->put_innerText(newText.Get());
}

} // namespace vx
