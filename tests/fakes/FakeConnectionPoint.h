// In-process doubles of the shell's window collection and of browser
// objects: plain IDispatch objects answering by name, each with one
// connection point, whose members can be made to fail.
#pragma once

#include "common/Scoped.h"

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vx::fakes {

// One connection point; the sinks are kept as their IDispatch.
class FakeConnectionPoint : public IConnectionPoint {
  public:
    FakeConnectionPoint(IConnectionPointContainer* owner, const IID& iid);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** e) override;

    // Invokes every sink; returns how many there were.
    int Fire(DISPID id, DISPPARAMS* params);
    size_t SinkCount() const { return sinks_.size(); }
    std::vector<ComPtr<IDispatch>> Sinks() const;

    HRESULT adviseResult = S_OK;
    HRESULT unadviseResult = S_OK;
    int advises = 0;
    int unadvises = 0;
    // Runs inside every Unadvise, as events may arrive during the call.
    std::function<void()> duringUnadvise;

  private:
    IConnectionPointContainer* owner_;
    IID iid_;
    std::map<DWORD, ComPtr<IDispatch>> sinks_;
    DWORD nextCookie_ = 1;
};

// IUnknown, IDispatch by a name table, and IConnectionPointContainer with a
// single point. Reference counts are the doubles' own, so that the engine's
// live-object count stays about the engine.
class FakeDispatch : public IDispatch, public IConnectionPointContainer {
  public:
    FakeDispatch(const IID& eventsIid, std::map<std::wstring, DISPID> names);
    virtual ~FakeDispatch() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** e) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override;

    FakeConnectionPoint& Point() { return point_; }
    ULONG Refs() const { return refs_; }

    // Member name -> forced failure.
    std::map<std::wstring, HRESULT> failures;
    HRESULT findPointResult = S_OK;
    bool offerPoints = true;

  protected:
    HRESULT Failure(const std::wstring& name) const;
    // Extra interfaces a double answers besides IDispatch.
    virtual bool AnswersIid(REFIID) const { return false; }

  private:
    LONG refs_ = 1;
    std::map<std::wstring, DISPID> names_;
    FakeConnectionPoint point_;
};

} // namespace vx::fakes
