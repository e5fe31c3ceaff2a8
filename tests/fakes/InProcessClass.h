// Classes served from the test's own process, under ProgIDs pointed at them
// for as long as the test needs.
#pragma once

#include "common/Scoped.h"

#include <shlwapi.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vx::fakes {

// Points a ProgID at a class, or with a null clsid removes it, and puts back
// what was there afterwards.
class ProgIdOverride {
  public:
    ProgIdOverride(const wchar_t* progId, const CLSID* clsid) : progId_(progId) {
        wchar_t text[64] = {};
        DWORD size = sizeof text;
        if (RegGetValueW(HKEY_CLASSES_ROOT, (progId_ + L"\\CLSID").c_str(), nullptr, RRF_RT_REG_SZ,
                         nullptr, text, &size) == ERROR_SUCCESS)
            previous_ = text;
        if (clsid) StringFromGUID2(*clsid, text, 64);
        Point(clsid ? std::optional<std::wstring>(text) : std::nullopt);
    }
    ~ProgIdOverride() { Point(previous_); }
    ProgIdOverride(const ProgIdOverride&) = delete;
    ProgIdOverride& operator=(const ProgIdOverride&) = delete;

  private:
    void Point(const std::optional<std::wstring>& clsid) const {
        if (!clsid)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
        else
            RegSetKeyValueW(HKEY_CLASSES_ROOT, (progId_ + L"\\CLSID").c_str(), nullptr, REG_SZ,
                            clsid->c_str(), static_cast<DWORD>((clsid->size() + 1) * 2));
    }

    std::wstring progId_;
    std::optional<std::wstring> previous_;
};

// Serves a class for as long as it lives: the ProgID points at the CLSID and
// a class object is registered for the given context.
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

// A new double of class T handed out as riid; it goes with its last reference.
template <class T, class... Args> HRESULT CreateDouble(REFIID riid, void** ppv, Args&&... args) {
    ComPtr<T> object(new (std::nothrow) T(std::forward<Args>(args)...));
    return object ? object->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

} // namespace vx::fakes
