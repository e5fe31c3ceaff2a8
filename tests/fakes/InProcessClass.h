// Serves a class from this process for as long as it lives: the ProgID is
// pointed at the CLSID (the previous value is put back afterwards) and a
// class object is registered for the given context.
#pragma once

#include "ProgIdOverride.h"

#include "common/Scoped.h"

#include <shlwapi.h>

#include <functional>
#include <utility>

namespace vx::fakes {

class InProcessClass : public IClassFactory {
  public:
    using Creator = std::function<HRESULT(REFIID, void**)>;
    InProcessClass(const wchar_t* progId, const CLSID& clsid, DWORD context, Creator create)
        : progId_(progId, &clsid), create_(std::move(create)),
          registered_(CoRegisterClassObject(clsid, this, context, REGCLS_MULTIPLEUSE, &cookie_)) {}
    ~InProcessClass() {
        if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
    }
    InProcessClass(const InProcessClass&) = delete;
    InProcessClass& operator=(const InProcessClass&) = delete;

    HRESULT Registered() const { return registered_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const QITAB table[] = {QITABENT(InProcessClass, IClassFactory), {}};
        return QISearch(this, table, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        return outer ? CLASS_E_NOAGGREGATION : create_(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

  private:
    ProgIdOverride progId_;
    Creator create_;
    DWORD cookie_ = 0;
    HRESULT registered_;
};

// A new double of class T handed out as riid; the double goes with its last
// reference.
template <class T, class... Args> HRESULT CreateDouble(REFIID riid, void** ppv, Args&&... args) {
    ComPtr<T> object(new (std::nothrow) T(std::forward<Args>(args)...));
    return object ? object->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

} // namespace vx::fakes
