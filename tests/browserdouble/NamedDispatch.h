// Late binding without a type library: a member's DISPID is its place in
// T::kMembers, which ends with an empty row.
#pragma once

#include "common/ComObject.h"

#include <exdispid.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace vx::browserdouble {

template <typename T> VARIANT MakeVariant(VARTYPE vt, T value) {
    VARIANT v = {};
    V_VT(&v) = vt;
    if constexpr (std::is_pointer_v<T>) V_BYREF(&v) = value;
    if constexpr (std::is_same_v<T, LONG>) V_I4(&v) = value;
    if constexpr (std::is_same_v<T, VARIANT_BOOL>) V_BOOL(&v) = value;
    if constexpr (std::is_same_v<T, double>) V_R8(&v) = value;
    return v;
}

class Call {
  public:
    Call(WORD flags, DISPPARAMS* params, VARIANT* result)
        : put_(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)), params_(params),
          result_(result) {}

    bool IsPut() const { return put_; }
    const DISPPARAMS& Params() const { return *params_; }
    HRESULT Result() const { return hr_; }

    // `value` when left out; one that cannot be coerced fails the call.
    template <typename T> T Arg(UINT position, T value = T()) {
        constexpr VARTYPE vt = std::is_same_v<T, LONG>   ? VT_I4
                               : std::is_same_v<T, bool> ? VT_BOOL
                                                         : VT_BSTR;
        Variant v;
        HRESULT hr =
            position < params_->cArgs
                ? VariantChangeType(v.Get(), &params_->rgvarg[params_->cArgs - 1 - position], 0, vt)
                : S_FALSE;
        if (FAILED(hr)) hr_ = hr;
        if (hr != S_OK) return value;
        if constexpr (vt == VT_I4) value = V_I4(v.Get());
        if constexpr (vt == VT_BOOL) value = V_BOOL(v.Get()) != VARIANT_FALSE;
        if constexpr (vt == VT_BSTR) value = V_BSTR(v.Get()) ? V_BSTR(v.Get()) : L"";
        return value;
    }

    HRESULT Return(LONG value) { return Answer(MakeVariant(VT_I4, value)); }
    HRESULT Return(double value) { return Answer(MakeVariant(VT_R8, value)); }
    HRESULT Return(bool value) {
        return Answer(MakeVariant<VARIANT_BOOL>(VT_BOOL, value ? VARIANT_TRUE : VARIANT_FALSE));
    }
    HRESULT Return(const std::wstring& text) {
        BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return copy ? Answer(MakeVariant(VT_BSTR, copy)) : E_OUTOFMEMORY;
    }
    HRESULT Return(IDispatch* object) {
        if (object) object->AddRef();
        return Answer(MakeVariant(VT_DISPATCH, object));
    }

  private:
    HRESULT Answer(VARIANT value) {
        if (!result_) return VariantClear(&value);
        *result_ = value;
        return S_OK;
    }

    bool put_;
    DISPPARAMS* params_;
    VARIANT* result_;
    HRESULT hr_ = S_OK;
};

template <class T> struct Member {
    const wchar_t* name;
    std::function<HRESULT(T&, Call&)> call = nullptr; // none: does nothing
};

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

    HRESULT Find(REFIID riid, IConnectionPoint** point) {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (FAILED(findResult)) return findResult;
        if (!IsEqualIID(riid, iid_)) return CONNECT_E_NOCONNECTION;
        *point = this;
        AddRef();
        return S_OK;
    }

    // args left to right as the event declares them.
    void Fire(DISPID id, std::vector<VARIANTARG> args = {}) {
        std::reverse(args.begin(), args.end());
        DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        // A copy: a sink may unadvise, or others advise, while the call is out.
        for (const auto& [cookie, sink] : std::map(sinks))
            sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
    }

    std::map<DWORD, ComPtr<IDispatch>> sinks;
    HRESULT adviseResult = S_OK, unadviseResult = S_OK, findResult = S_OK;
    std::function<void()> duringUnadvise;

  private:
    IConnectionPointContainer* owner_;
    IID iid_;
    DWORD nextCookie_ = 1;
};

template <class T, class... Interfaces> class NamedDispatch : public ComObject<T, Interfaces...> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable() {
        if constexpr (std::is_base_of_v<IConnectionPointContainer, T>) {
            static const QITAB table[] = {
                QITABENT(T, IDispatch), QITABENT(T, IConnectionPointContainer), {}};
            return table;
        } else {
            static const QITAB table[] = {QITABENT(T, IDispatch), {}};
            return table;
        }
    }

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        for (DISPID id = 1; NameOf(id); ++id)
            if (_wcsicmp(NameOf(id), names[0]) == 0) ids[0] = id;
        return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        const wchar_t* name = NameOf(id);
        if (!name) return DISP_E_MEMBERNOTFOUND;
        if (!params) return E_INVALIDARG;
        auto failure = failures.find(name);
        if (failure != failures.end()) return failure->second;
        Call call(flags, params, result);
        const auto& member = T::kMembers[id - 1].call;
        HRESULT hr = member ? member(static_cast<T&>(*this), call) : S_OK;
        return FAILED(call.Result()) ? call.Result() : hr;
    }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
        return static_cast<T*>(this)->events.Find(riid, point);
    }
    static const wchar_t* NameOf(DISPID id) {
        for (DISPID at = 1; at <= id && T::kMembers[at - 1].name; ++at)
            if (at == id) return T::kMembers[at - 1].name;
        return nullptr;
    }

    std::map<std::wstring, HRESULT> failures;
};

} // namespace vx::browserdouble
