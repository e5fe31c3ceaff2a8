#pragma once

#include "common/DispatchObject.h"

#include <optional>
#include <string>
#include <type_traits>

namespace vx::test {

class LateBound : public DispatchObject {
  public:
    template <typename T, typename... Args>
    std::optional<T> Get(const wchar_t* name, const char* types = "", Args... args) {
        constexpr VARTYPE vt = std::is_same_v<T, LONG>     ? VT_I4
                               : std::is_same_v<T, double> ? VT_R8
                                                           : VT_BSTR;
        Variant raw, out;
        if (FAILED(InvokeByName(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, raw.Get(), types,
                                args...)) ||
            FAILED(VariantChangeType(out.Get(), raw.Get(), 0, vt)))
            return std::nullopt;
        const VARIANT* v = out.Get();
        if constexpr (vt == VT_I4)
            return V_I4(v);
        else if constexpr (vt == VT_R8)
            return V_R8(v);
        else
            return std::wstring(V_BSTR(v) ? V_BSTR(v) : L"");
    }
    template <typename... Args>
    std::optional<LONG> Long(const wchar_t* name, const char* types = "", Args... args) {
        return Get<LONG>(name, types, args...);
    }
    template <typename... Args>
    std::optional<std::wstring> Text(const wchar_t* name, const char* types = "", Args... args) {
        return Get<std::wstring>(name, types, args...);
    }
    template <typename... Args>
    HRESULT Do(const wchar_t* name, const char* types = "", Args... args) {
        return InvokeByName(name, DISPATCH_METHOD, nullptr, types, args...);
    }
    template <typename T> HRESULT Put(const wchar_t* name, const char* type, T value) {
        return InvokeByName(name, DISPATCH_PROPERTYPUT, nullptr, type, value);
    }
};

} // namespace vx::test
