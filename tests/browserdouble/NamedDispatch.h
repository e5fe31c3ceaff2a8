// Late binding without a type library: each of the double's objects names
// its members in one table (ending with an empty row), a member's DISPID
// being its place there, and reads every call through one Call.
#pragma once

#include "common/ComObject.h"

#include <ocidl.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <type_traits>

namespace vx::browserdouble {

// A VARIANT of type vt holding a pointer (VT_BYREF, a text or an object),
// a LONG, a VARIANT_BOOL or a double.
template <typename T> VARIANT MakeVariant(VARTYPE vt, T value) {
    VARIANT v = {};
    V_VT(&v) = vt;
    if constexpr (std::is_pointer_v<T>) V_BYREF(&v) = value;
    if constexpr (std::is_same_v<T, LONG>) V_I4(&v) = value;
    if constexpr (std::is_same_v<T, VARIANT_BOOL>) V_BOOL(&v) = value;
    if constexpr (std::is_same_v<T, double>) V_R8(&v) = value;
    return v;
}

// One call of a member: its arguments, coerced from what script hosts and
// the agent pass (VT_I4, VT_R8, VT_BOOL, by reference, ...), and its answer.
class Call {
  public:
    Call(WORD flags, DISPPARAMS* params, VARIANT* result)
        : put_(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)), params_(params),
          result_(result) {}

    bool IsPut() const { return put_; }
    const DISPPARAMS& Params() const { return *params_; }
    HRESULT Result() const { return hr_; }

    // The argument at `position`, counted from the left, as a LONG, a bool
    // or a text; `value` when the caller left it out. One that cannot be
    // coerced fails the call.
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

    // The answer; a caller that passes no VARIANT gets none.
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
    std::function<HRESULT(T&, Call&)> call = nullptr; // none: a member that does nothing
};

// IDispatch over T::kMembers, for an object T that is never aggregated.
template <class T, class... Interfaces> class NamedDispatch : public ComObject<T, Interfaces...> {
  public:
    static constexpr bool kAggregatable = false;
    // Plain IDispatch; an object with more interfaces lists its own.
    static const QITAB* QiTable() {
        static const QITAB table[] = {{&IID_IDispatch, OFFSETOFCLASS(IDispatch, T)}, {}};
        return table;
    }

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        for (DISPID id = 1; NameOf(id); ++id)
            if (_wcsicmp(NameOf(id), names[0]) == 0) ids[0] = id;
        // Named arguments are not supported.
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
    // IConnectionPointContainer, for an object with one point, `events`.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
        return static_cast<T*>(this)->events.Find(riid, point);
    }
    static const wchar_t* NameOf(DISPID id) {
        for (DISPID at = 1; T::kMembers[at - 1].name; ++at)
            if (at == id) return T::kMembers[at - 1].name;
        return nullptr;
    }

    // For the in-process tests: members that fail, by name, with their codes.
    std::map<std::wstring, HRESULT> failures;
};

} // namespace vx::browserdouble
