// One outgoing event interface of a double's object. The point lives inside
// its container and shares its reference count.
#pragma once

#include "common/Scoped.h"

#include <exdispid.h>
#include <olectl.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace vx::browserdouble {

class EventPoint : public IConnectionPoint {
  public:
    EventPoint(IConnectionPointContainer* owner, const IID& iid) : owner_(owner), iid_(iid) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const QITAB table[] = {QITABENT(EventPoint, IConnectionPoint), {}};
        return QISearch(this, table, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        if (FAILED(adviseResult)) return adviseResult;
        ComPtr<IDispatch> disp;
        if (FAILED(sink->QueryInterface(IID_IDispatch, disp.PutVoid())))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = nextCookie_++;
        sinks[*cookie] = disp;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        if (duringUnadvise) duringUnadvise();
        if (FAILED(unadviseResult)) return unadviseResult;
        return sinks.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    }

    // FindConnectionPoint of a container with this one point.
    HRESULT Find(REFIID riid, IConnectionPoint** point) {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (FAILED(findResult)) return findResult;
        if (!IsEqualIID(riid, iid_)) return CONNECT_E_NOCONNECTION;
        *point = this;
        AddRef();
        return S_OK;
    }

    // Calls every sink in turn with args, left to right as the event
    // declares them; by-reference arguments carry the sinks' answers back.
    void Fire(DISPID id, std::vector<VARIANTARG> args = {}) {
        std::reverse(args.begin(), args.end());
        DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        // A copy: a sink may unadvise, or others advise, while the call is out.
        for (const auto& [cookie, sink] : std::map(sinks))
            sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
    }

    std::map<DWORD, ComPtr<IDispatch>> sinks;
    // For the in-process tests: failures, and events arriving in Unadvise.
    HRESULT adviseResult = S_OK, unadviseResult = S_OK, findResult = S_OK;
    std::function<void()> duringUnadvise;

  private:
    IConnectionPointContainer* owner_;
    IID iid_;
    DWORD nextCookie_ = 1;
};

} // namespace vx::browserdouble
