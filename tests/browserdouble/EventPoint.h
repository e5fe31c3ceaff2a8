// One outgoing event interface of a double's object. The point lives inside
// its container and shares its reference count.
#pragma once

#include "common/Scoped.h"

#include <ocidl.h>

#include <functional>
#include <map>
#include <vector>

namespace vx::browserdouble {

class EventPoint : public IConnectionPoint {
  public:
    EventPoint(IConnectionPointContainer* owner, const IID& iid) : owner_(owner), iid_(iid) {}
    EventPoint(const EventPoint&) = delete;
    EventPoint& operator=(const EventPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    // FindConnectionPoint of a container with this one point.
    HRESULT Find(REFIID riid, IConnectionPoint** point);

    // Calls every sink in turn; by-reference arguments carry the sinks'
    // answers back to the caller.
    void Fire(DISPID id, DISPPARAMS* params);
    LONG SinkCount() const { return static_cast<LONG>(sinks_.size()); }
    std::vector<ComPtr<IDispatch>> Sinks() const;
    void DropSinks() { sinks_.clear(); }

    // For the in-process tests: failures to answer, how often sinks were
    // advised, and what runs inside every Unadvise (as events may arrive
    // during the call).
    HRESULT adviseResult = S_OK, unadviseResult = S_OK, findResult = S_OK;
    int advises = 0;
    std::function<void()> duringUnadvise;

  private:
    IConnectionPointContainer* owner_;
    IID iid_;
    std::map<DWORD, ComPtr<IDispatch>> sinks_;
    DWORD nextCookie_ = 1;
};

} // namespace vx::browserdouble
