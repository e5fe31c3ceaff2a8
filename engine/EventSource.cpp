#include "EventSource.h"

#include "common/Scoped.h"

namespace vx {

namespace {

HRESULT FindEventsPoint(IDispatch* source, REFIID events, IConnectionPoint** point) {
    *point = nullptr;
    if (!source) return E_POINTER;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (FAILED(hr)) return hr;
    return container->FindConnectionPoint(events, point);
}

} // namespace

HRESULT AdviseEvents(IDispatch* source, REFIID events, IUnknown* sink, DWORD* cookie,
                     ComPtr<IConnectionPoint>* kept) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindEventsPoint(source, events, point.Put());
    if (FAILED(hr)) return hr;
    hr = point->Advise(sink, cookie);
    if (SUCCEEDED(hr) && kept) *kept = std::move(point);
    return hr;
}

HRESULT UnadviseEvents(IDispatch* source, REFIID events, DWORD cookie) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindEventsPoint(source, events, point.Put());
    if (FAILED(hr)) return hr;
    return point->Unadvise(cookie);
}

} // namespace vx
