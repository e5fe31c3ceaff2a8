// A late-bound client of KrellinSvc.Registry.1: every member is called by
// name through IDispatch, the way the agent calls it.
#pragma once

#include "KrellinSvc.h"
#include "common/Scoped.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace vxtest {

inline VARIANT Arg(VARTYPE vt, void* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.byref = value; // the union's pointer member; for VT_BSTR the BSTR itself
    return v;
}
inline VARIANT Arg(LONG value) {
    VARIANT v = Arg(VT_I4, nullptr);
    v.lVal = value;
    return v;
}

class RegistryDriver {
  public:
    HRESULT Create() {
        CLSID clsid;
        HRESULT hr = CLSIDFromProgID(L"KrellinSvc.Registry.1", &clsid);
        if (FAILED(hr)) return hr;
        return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                disp_.PutVoid());
    }
    // The same object through the dual interface's table, for what late
    // binding cannot carry: S_FALSE (Invoke answers S_OK for any success)
    // and, under Wine, null strings (its Invoke marshalling makes them "").
    vx::ComPtr<IRegistry> Early() const {
        vx::ComPtr<IRegistry> reg;
        disp_.As(IID_IRegistry, &reg);
        return reg;
    }

    // Arguments in declaration order; the caller keeps ownership.
    HRESULT Call(const wchar_t* name, WORD kind, std::initializer_list<VARIANT> args,
                 VARIANT* result = nullptr) {
        DISPID id;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = disp_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) return hr;
        std::vector<VARIANT> reversed(args.begin(), args.end());
        std::reverse(reversed.begin(), reversed.end());
        DISPID putId = DISPID_PROPERTYPUT;
        const bool put = kind == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), put ? &putId : nullptr,
                          static_cast<UINT>(reversed.size()), put ? 1u : 0u};
        EXCEPINFO error{};
        hr = disp_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &error,
                           nullptr);
        SysFreeString(error.bstrSource);
        SysFreeString(error.bstrDescription);
        SysFreeString(error.bstrHelpFile);
        // A failing member reaches a late-bound caller as an exception that
        // carries its code.
        return hr == DISP_E_EXCEPTION && FAILED(error.scode) ? error.scode : hr;
    }
    HRESULT Method(const wchar_t* name) { return Call(name, DISPATCH_METHOD, {}); }

    HRESULT GetAppString(const wchar_t* name, vx::Bstr* value) {
        vx::Bstr n(name);
        BSTR raw = value->Detach(); // travels in and out; what comes back is owned here
        HRESULT hr = Call(L"GetAppString", DISPATCH_METHOD,
                          {Arg(VT_BSTR, n.Get()), Arg(VT_BSTR | VT_BYREF, &raw)});
        *value = vx::Bstr::Attach(raw);
        return hr;
    }
    HRESULT SetAppString(const wchar_t* name, BSTR value) {
        vx::Bstr n(name);
        return Call(L"SetAppString", DISPATCH_METHOD, {Arg(VT_BSTR, n.Get()), Arg(VT_BSTR, value)});
    }
    HRESULT GetAppDWORD(const wchar_t* name, LONG* value) {
        vx::Bstr n(name);
        return Call(L"GetAppDWORD", DISPATCH_METHOD,
                    {Arg(VT_BSTR, n.Get()), Arg(VT_I4 | VT_BYREF, value)});
    }
    HRESULT SetAppDWORD(const wchar_t* name, LONG value) {
        vx::Bstr n(name);
        return Call(L"SetAppDWORD", DISPATCH_METHOD, {Arg(VT_BSTR, n.Get()), Arg(value)});
    }

    HRESULT PutText(const wchar_t* property, const wchar_t* value) {
        if (!value) return PutNull(property);
        vx::Bstr v(value);
        return Call(property, DISPATCH_PROPERTYPUT, {Arg(VT_BSTR, v.Get())});
    }
    HRESULT GetText(const wchar_t* property, vx::Bstr* value) {
        vx::Variant result;
        HRESULT hr = Call(property, DISPATCH_PROPERTYGET, {}, result.Get());
        if (SUCCEEDED(hr) && result.Get()->vt != VT_BSTR) hr = DISP_E_TYPEMISMATCH;
        if (SUCCEEDED(hr)) value->Reset(std::exchange(result.Get()->bstrVal, nullptr));
        return hr;
    }
    HRESULT PutTopLevelKey(LONG value) {
        return Call(L"TopLevelKey", DISPATCH_PROPERTYPUT, {Arg(value)});
    }
    HRESULT GetTopLevelKey(LONG* value) {
        vx::Variant result;
        HRESULT hr = Call(L"TopLevelKey", DISPATCH_PROPERTYGET, {}, result.Get());
        if (SUCCEEDED(hr)) *value = result.Get()->lVal;
        return hr;
    }
    HRESULT SetPath(const wchar_t* company, const wchar_t* product, const wchar_t* version,
                    const wchar_t* subFolder) {
        HRESULT hr = PutText(L"Company", company);
        if (SUCCEEDED(hr)) hr = PutText(L"Product", product);
        if (SUCCEEDED(hr)) hr = PutText(L"Version", version);
        if (SUCCEEDED(hr)) hr = PutText(L"SubFolder", subFolder);
        return hr;
    }

  private:
    HRESULT PutNull(const wchar_t* property) {
        vx::ComPtr<IRegistry> reg = Early();
        if (!reg) return E_NOINTERFACE;
        const std::wstring name = property;
        if (name == L"TopFolder") return reg->put_TopFolder(nullptr);
        if (name == L"Company") return reg->put_Company(nullptr);
        if (name == L"Product") return reg->put_Product(nullptr);
        if (name == L"Version") return reg->put_Version(nullptr);
        return name == L"SubFolder" ? reg->put_SubFolder(nullptr) : E_INVALIDARG;
    }

    vx::ComPtr<IDispatch> disp_;
};

} // namespace vxtest
