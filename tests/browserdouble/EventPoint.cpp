#include "EventPoint.h"

#include <olectl.h>

namespace vx::browserdouble {

HRESULT EventPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

HRESULT EventPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = owner_;
    owner_->AddRef();
    return S_OK;
}

HRESULT EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ++advises;
    if (FAILED(adviseResult)) return adviseResult;
    // As the browser does: the event interface first, plain IDispatch as
    // the fallback.
    ComPtr<IDispatch> disp;
    if (FAILED(sink->QueryInterface(iid_, disp.PutVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, disp.PutVoid())))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    sinks_[*cookie] = disp;
    return S_OK;
}

HRESULT EventPoint::Unadvise(DWORD cookie) {
    if (duringUnadvise) duringUnadvise();
    if (FAILED(unadviseResult)) return unadviseResult;
    return sinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

HRESULT EventPoint::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

HRESULT EventPoint::Find(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (FAILED(findResult)) return findResult;
    if (!IsEqualIID(riid, iid_)) return CONNECT_E_NOCONNECTION;
    *point = this;
    AddRef();
    return S_OK;
}

std::vector<ComPtr<IDispatch>> EventPoint::Sinks() const {
    std::vector<ComPtr<IDispatch>> sinks;
    for (const auto& entry : sinks_)
        sinks.push_back(entry.second);
    return sinks;
}

void EventPoint::Fire(DISPID id, DISPPARAMS* params) {
    // A sink may unadvise, or others advise, while the call is out.
    for (const auto& sink : Sinks())
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr,
                     nullptr);
}

} // namespace vx::browserdouble
