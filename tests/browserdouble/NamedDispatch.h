// Late binding without a type library: the double's objects resolve member
// names from a table and read their arguments with DispGetParam, which
// coerces what script hosts and the agent pass (VT_I4, VT_R8, VT_BOOL, ...).
#pragma once

#include "common/Scoped.h"

#include <string>
#include <type_traits>

namespace vx::browserdouble {

struct DispatchName {
    const wchar_t* name;
    DISPID id;
};

template <size_t N>
HRESULT IdsFromNames(const DispatchName (&table)[N], LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    for (const auto& entry : table) {
        if (_wcsicmp(entry.name, names[0]) == 0) {
            ids[0] = entry.id;
            // Named arguments are not supported.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

// The argument at `position`, counted from the left, coerced to a long, a
// boolean or a text.
template <typename T> HRESULT Arg(DISPPARAMS* params, UINT position, T* value) {
    constexpr VARTYPE vt = std::is_same_v<T, LONG>   ? VT_I4
                           : std::is_same_v<T, bool> ? VT_BOOL
                                                     : VT_BSTR;
    Variant v;
    UINT argErr = 0;
    HRESULT hr = DispGetParam(params, position, vt, v.Get(), &argErr);
    if (FAILED(hr)) return hr;
    if constexpr (vt == VT_I4)
        *value = V_I4(v.Get());
    else if constexpr (vt == VT_BOOL)
        *value = V_BOOL(v.Get()) != VARIANT_FALSE;
    else
        *value = V_BSTR(v.Get()) ? V_BSTR(v.Get()) : L"";
    return hr;
}

// The results; a caller that passes no VARIANT gets none.
inline HRESULT ReturnLong(VARIANT* result, LONG value) {
    if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = value;
    }
    return S_OK;
}

inline HRESULT ReturnBool(VARIANT* result, bool value) {
    if (result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

inline HRESULT ReturnDouble(VARIANT* result, double value) {
    if (result) {
        V_VT(result) = VT_R8;
        V_R8(result) = value;
    }
    return S_OK;
}

inline HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
    if (!result) return S_OK;
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy) return E_OUTOFMEMORY;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = copy;
    return S_OK;
}

} // namespace vx::browserdouble

// The IDispatch members besides Invoke for a class with a static name table.
#define VX_NAMED_DISPATCH_METHODS(table)                                                           \
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {                                          \
        if (!count) return E_POINTER;                                                              \
        *count = 0;                                                                                \
        return S_OK;                                                                               \
    }                                                                                              \
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {                              \
        if (info) *info = nullptr;                                                                 \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {  \
        return ::vx::browserdouble::IdsFromNames(table, names, count, ids);                        \
    }
