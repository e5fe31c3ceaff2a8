#pragma once

#include "common/Scoped.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vx::fakes {

// Serves a class from this process for as long as it lives: the ProgID is
// pointed at the CLSID under HKEY_CLASSES_ROOT (the previous value is put
// back afterwards) and a class object is registered for the given context.
class InProcessClass : public IClassFactory {
  public:
    using Creator = std::function<HRESULT(REFIID, void**)>;
    InProcessClass(const wchar_t* progId, const CLSID& clsid, DWORD context, Creator create);
    virtual ~InProcessClass();
    InProcessClass(const InProcessClass&) = delete;
    InProcessClass& operator=(const InProcessClass&) = delete;

    HRESULT Registered() const { return registered_; }
    int creations = 0;
    HRESULT createResult = S_OK;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

  private:
    std::wstring progId_;
    std::optional<std::wstring> previous_;
    Creator create_;
    DWORD cookie_ = 0;
    HRESULT registered_ = E_FAIL;
};

// A new double of class T handed out as riid; the double goes with its last
// reference.
template <class T, class... Args> HRESULT CreateDouble(REFIID riid, void** ppv, Args&&... args) {
    T* object = new T(std::forward<Args>(args)...);
    object->AddRef();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// Points a ProgID somewhere (or nowhere) for a test, putting it back after.
class ProgIdOverride {
  public:
    // With a null clsid the ProgID is removed for the test.
    ProgIdOverride(const wchar_t* progId, const CLSID* clsid);
    ~ProgIdOverride();
    ProgIdOverride(const ProgIdOverride&) = delete;
    ProgIdOverride& operator=(const ProgIdOverride&) = delete;

  private:
    std::wstring progId_;
    std::optional<std::wstring> previous_;
};

} // namespace vx::fakes
