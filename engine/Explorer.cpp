#include "Explorer.h"

#include "EventSource.h"
#include "WebBrowserEvents2.h"
#include "XShell.h"

#include "common/StatusLog.h"
#include "common/TextForms.h"
#include "common/UrlForms.h"

#include <new>
#include <utility>

namespace vx {

Explorer::Explorer(XShell* shell, IDispatch* browser) : shell_(shell) { Attach(browser); }

Explorer::~Explorer() { Disconnect(); }

void Explorer::Connect() {
    if (sink_) return;
    ComPtr<IUnknown> unknown;
    auto* sink = NewSink<WebBrowserEvents2>(this, &unknown, "Event Creation Error...",
                                            "Event QI Error...");
    if (!sink) return;
    // Claim the sink before the outgoing Advise: an event or a nested
    // reconciliation during the call must find this record connected.
    sink_ = sink;
    sinkRef_ = unknown;
    DWORD cookie = 0;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = AdviseEvents(Dispatch(), IID_DWebBrowserEvents2, unknown.Get(), &cookie, &point);
    if (FAILED(hr)) {
        if (sink_ == sink) {
            sink->SetOwner(nullptr);
            sink_ = nullptr;
            sinkRef_.Reset();
        }
        LogFailure("Event Advise Error...", hr);
        return;
    }
    cookie_ = cookie;
    point_ = std::move(point);
}

void Explorer::Silence() {
    if (sink_) sink_->SetOwner(nullptr);
}

void Explorer::Disconnect() {
    if (!sink_) return;
    sink_->SetOwner(nullptr);
    sink_ = nullptr;
    ComPtr<IUnknown> sinkRef = std::move(sinkRef_);
    ComPtr<IConnectionPoint> point = std::move(point_);
    const DWORD cookie = std::exchange(cookie_, 0);
    // Best effort: the browser may already be gone.
    if (cookie && point)
        point->Unadvise(cookie);
    else if (cookie)
        UnadviseEvents(Dispatch(), IID_DWebBrowserEvents2, cookie);
}

bool Explorer::IsIE() {
    if (fullNameRead_) return isIE_;
    Variant name;
    HRESULT hr = InvokeByName(L"FullName", DISPATCH_PROPERTYGET, name.Get());
    if (SUCCEEDED(hr) && V_VT(name.Get()) != VT_BSTR)
        hr = VariantChangeType(name.Get(), name.Get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        LogFailure("Explorer Invoke Error...", hr);
        return false;
    }
    std::wstring lower = LowerText(V_BSTR(name.Get()) ? V_BSTR(name.Get()) : L"");
    isIE_ = lower.find(L"iexplore.exe") != std::wstring::npos;
    fullNameRead_ = true;
    return isIE_;
}

std::wstring Explorer::GetLocationURL() {
    Variant url;
    HRESULT hr = InvokeByName(L"LocationURL", DISPATCH_PROPERTYGET, url.Get());
    if (SUCCEEDED(hr) && V_VT(url.Get()) != VT_BSTR)
        hr = VariantChangeType(url.Get(), url.Get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        LogFailure("Explorer Invoke Error...", hr);
        return std::wstring();
    }
    locationUrl = CanonicalUrl(V_BSTR(url.Get()) ? V_BSTR(url.Get()) : L"");
    return *locationUrl;
}

bool Explorer::GetVisible() {
    Variant visible;
    HRESULT hr = InvokeByName(L"Visible", DISPATCH_PROPERTYGET, visible.Get());
    if (SUCCEEDED(hr)) hr = VariantChangeType(visible.Get(), visible.Get(), 0, VT_BOOL);
    if (FAILED(hr)) {
        LogFailure("Explorer Invoke Error...", hr);
        return true;
    }
    return V_BOOL(visible.Get()) != VARIANT_FALSE;
}

void Explorer::PutVisible(bool visible) {
    HRESULT hr = InvokeByName(L"Visible", DISPATCH_PROPERTYPUT, nullptr, "b", visible ? 1 : 0);
    if (FAILED(hr)) LogFailure("Explorer Invoke Error...", hr);
}

HRESULT Explorer::Navigate(const std::wstring& url) {
    HRESULT hr = InvokeByName(L"Navigate", DISPATCH_METHOD, nullptr, "s", url.c_str());
    if (FAILED(hr)) LogFailure("Explorer Invoke Error...", hr);
    return hr;
}

void Explorer::Quit() {
    HRESULT hr = InvokeByName(L"Quit", DISPATCH_METHOD, nullptr);
    if (FAILED(hr)) LogFailure("Explorer Invoke Error...", hr);
}

} // namespace vx
