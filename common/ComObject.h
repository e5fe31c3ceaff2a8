// The one COM object base of the product: reference counting, a table-driven
// QueryInterface (QISearch), optional aggregation, a dispatch implementation
// served from the module's own type library, and a class factory.
#pragma once

#include "Scoped.h"
#include "TypeLibrary.h"

#include <shlwapi.h>

#include <new>

namespace vx {

// Live objects and class-factory locks of the module. It is only a count:
// our servers do not end when it drops to zero.
LONG ModuleLockCount();
void ModuleLock();
void ModuleUnlock();

// Derived lists its interfaces in a static `const QITAB* QiTable()`; the
// first entry is the object's identity. Derived may be created inside an
// aggregate when it is constructed with the outer unknown.
template <class Derived, class... Interfaces> class ComObject : public Interfaces... {
  public:
    // IUnknown: delegating when aggregated.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (outer_) return outer_->QueryInterface(riid, ppv);
        return NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return outer_ ? outer_->AddRef() : NonDelegatingAddRef();
    }
    STDMETHODIMP_(ULONG) Release() override {
        return outer_ ? outer_->Release() : NonDelegatingRelease();
    }

    // The inner unknown an aggregate holds; for a plain object it is the
    // object itself.
    IUnknown* InnerUnknown() {
        if (outer_) return &inner_;
        // Identity is the first table entry (what QISearch answers for
        // IID_IUnknown); no reference is taken here.
        auto* base = reinterpret_cast<BYTE*>(static_cast<Derived*>(this));
        return reinterpret_cast<IUnknown*>(base + Derived::QiTable()[0].dwOffset);
    }

  protected:
    explicit ComObject(IUnknown* outer = nullptr) : outer_(outer), inner_(this) { ModuleLock(); }
    virtual ~ComObject() { ModuleUnlock(); }

    ULONG RefCount() const { return refs_; }

  private:
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        if (outer_ && IsEqualIID(riid, IID_IUnknown)) {
            *ppv = &inner_;
            NonDelegatingAddRef();
            return S_OK;
        }
        return QISearch(static_cast<Derived*>(this), Derived::QiTable(), riid, ppv);
    }
    ULONG NonDelegatingAddRef() { return InterlockedIncrement(&refs_); }
    ULONG NonDelegatingRelease() {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    struct Inner : IUnknown {
        explicit Inner(ComObject* o) : owner(o) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            return owner->NonDelegatingQueryInterface(riid, ppv);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return owner->NonDelegatingAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner->NonDelegatingRelease(); }
        ComObject* owner;
    };

    LONG refs_ = 0;
    IUnknown* outer_;
    Inner inner_;
};

// IDispatch for a dual interface Iface of Derived, served from the type
// information of the module's embedded type library number Library:
// GetIDsOfNames resolves by name, Invoke converts the arguments and calls
// the vtable entry.
template <class Derived, class Iface, const IID* Iid, UINT Library = 1> class TypeInfoDispatch {
  public:
    HRESULT TypeInfoCount(UINT* count) {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT TypeInfo(UINT index, ITypeInfo** info) {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return LoadOwnTypeInfo(*Iid, info, Library);
    }
    HRESULT IdsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
        ComPtr<ITypeInfo> info;
        HRESULT hr = LoadOwnTypeInfo(*Iid, info.Put(), Library);
        if (FAILED(hr)) return hr;
        return info->GetIDsOfNames(names, count, ids);
    }
    HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep, UINT* argErr) {
        ComPtr<ITypeInfo> info;
        HRESULT hr = LoadOwnTypeInfo(*Iid, info.Put(), Library);
        if (FAILED(hr)) return hr;
        Iface* self = static_cast<Derived*>(this);
        return info->Invoke(self, id, flags, params, result, excep, argErr);
    }
};

// Expands to the four IDispatch members forwarding to TypeInfoDispatch.
#define VX_TYPEINFO_DISPATCH_METHODS()                                                         \
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return TypeInfoCount(count); }      \
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {                   \
        return TypeInfo(index, info);                                                          \
    }                                                                                          \
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)        \
        override {                                                                             \
        return IdsOfNames(names, count, ids);                                                  \
    }                                                                                          \
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,              \
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {            \
        return InvokeMember(id, flags, params, result, excep, argErr);                         \
    }

// A class factory for T, which provides
//   static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
// and `static constexpr bool kAggregatable`. The factory is a static object:
// AddRef and Release answer fixed counts, as for any object that is not
// heap-allocated.
template <class T> class ClassFactory : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const QITAB table[] = {QITABENT(ClassFactory, IClassFactory), {}};
        return QISearch(this, table, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        // COM's rule: an aggregate asks for the inner IUnknown and nothing else.
        if (outer && (!T::kAggregatable || !IsEqualIID(riid, IID_IUnknown)))
            return CLASS_E_NOAGGREGATION;
        return T::CreateInstance(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }
};

// Creates a heap object of T (constructed with outer), hands out riid and
// drops the creation reference, so that a failed QueryInterface frees it.
template <class T> HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* obj = new (std::nothrow) T(outer);
    if (!obj) return E_OUTOFMEMORY;
    IUnknown* inner = obj->InnerUnknown();
    inner->AddRef();
    HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}

} // namespace vx
