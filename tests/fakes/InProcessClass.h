// Classes served from the test's own process under their ProgIDs.
#pragma once

#include "common/Scoped.h"
#include "tests/support/RegistryTools.h"

#include <functional>
#include <string>
#include <utility>

namespace vx::fakes {

// Points a ProgID at a class, or with a null clsid at none, and puts back
// what was there afterwards.
struct ProgIdOverride : test::ScopedText {
    ProgIdOverride(const wchar_t* progId, const CLSID* clsid)
        : ScopedText(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID", nullptr) {
        wchar_t text[64] = {};
        if (clsid && StringFromGUID2(*clsid, text, 64)) Write(text);
        if (!clsid) Delete();
    }
};

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
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
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

template <class T, class... Args> HRESULT CreateDouble(REFIID riid, void** ppv, Args&&... args) {
    ComPtr<T> object(new (std::nothrow) T(std::forward<Args>(args)...));
    return object ? object->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

} // namespace vx::fakes
