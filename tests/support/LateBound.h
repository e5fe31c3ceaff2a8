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
    // Argument codes as for InvokeByName ("I" long, "i" short, "s" text, "b" boolean).
    template <typename... Args>
    std::optional<LONG> Long(const wchar_t* name, const char* types = "", Args... args) {
        return Get<LONG>(
            VT_I4, [](VARIANT* v) { return V_I4(v); }, name, types, args...);
    }
    template <typename... Args>
    std::optional<bool> Bool(const wchar_t* name, const char* types = "", Args... args) {
        return Get<bool>(
            VT_BOOL, [](VARIANT* v) { return V_BOOL(v) != VARIANT_FALSE; }, name, types, args...);
    }
    template <typename... Args>
    std::optional<double> Double(const wchar_t* name, const char* types = "", Args... args) {
        return Get<double>(
            VT_R8, [](VARIANT* v) { return V_R8(v); }, name, types, args...);
    }
    template <typename... Args>
    std::optional<std::wstring> Text(const wchar_t* name, const char* types = "", Args... args) {
        return Get<std::wstring>(
            VT_BSTR, [](VARIANT* v) { return std::wstring(V_BSTR(v) ? V_BSTR(v) : L""); }, name,
            types, args...);
    }
    // The raw answer's type: a 16-bit member must come back as one.
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
    template <typename T, typename Convert, typename... Args>
    std::optional<T> Get(VARTYPE vt, Convert convert, const wchar_t* name, const char* types,
                         Args... args) {
        Variant raw, out;
        if (FAILED(InvokeByName(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, raw.Get(), types,
                                args...)) ||
            FAILED(VariantChangeType(out.Get(), raw.Get(), 0, vt)))
            return std::nullopt;
        return convert(out.Get());
    }
};

} // namespace vx::test
