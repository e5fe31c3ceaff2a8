// A late-bound client of any automation object: the product's own
// DispatchObject with its answers converted to C++ values. A call that fails
// answers no value; HRESULT-returning members pass the code on.
#pragma once

#include "common/DispatchObject.h"

#include <optional>
#include <string>

namespace vx::test {

class LateBound : public DispatchObject {
  public:
    // Argument codes as for InvokeByName ("I" long, "i" short, "s" text,
    // "b" int as boolean, ...).
    template <typename... Args>
    std::optional<LONG> Long(const wchar_t* name, const char* types = "", Args... args) {
        Variant v;
        if (FAILED(Get(VT_I4, &v, name, types, args...))) return std::nullopt;
        return V_I4(v.Get());
    }
    template <typename... Args>
    std::optional<bool> Bool(const wchar_t* name, const char* types = "", Args... args) {
        Variant v;
        if (FAILED(Get(VT_BOOL, &v, name, types, args...))) return std::nullopt;
        return V_BOOL(v.Get()) != VARIANT_FALSE;
    }
    template <typename... Args>
    std::optional<double> Double(const wchar_t* name, const char* types = "", Args... args) {
        Variant v;
        if (FAILED(Get(VT_R8, &v, name, types, args...))) return std::nullopt;
        return V_R8(v.Get());
    }
    template <typename... Args>
    std::optional<std::wstring> Text(const wchar_t* name, const char* types = "", Args... args) {
        Variant v;
        if (FAILED(Get(VT_BSTR, &v, name, types, args...))) return std::nullopt;
        return std::wstring(V_BSTR(v.Get()) ? V_BSTR(v.Get()) : L"");
    }
    // The raw answer's type as well: a 16-bit member must come back as one.
    std::optional<VARTYPE> TypeOf(const wchar_t* name) {
        Variant v;
        if (FAILED(InvokeByName(name, DISPATCH_PROPERTYGET, v.Get()))) return std::nullopt;
        return V_VT(v.Get());
    }

    template <typename... Args>
    HRESULT Do(const wchar_t* name, const char* types = "", Args... args) {
        return InvokeByName(name, DISPATCH_METHOD, nullptr, types, args...);
    }
    template <typename T> HRESULT Put(const wchar_t* name, const char* type, T value) {
        return InvokeByName(name, DISPATCH_PROPERTYPUT, nullptr, type, value);
    }

  private:
    template <typename... Args>
    HRESULT Get(VARTYPE vt, Variant* out, const wchar_t* name, const char* types, Args... args) {
        Variant raw;
        HRESULT hr =
            InvokeByName(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, raw.Get(), types, args...);
        if (FAILED(hr)) return hr;
        return VariantChangeType(out->Get(), raw.Get(), 0, vt);
    }
};

} // namespace vx::test
