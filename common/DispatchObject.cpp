#include "DispatchObject.h"

#include <cstdarg>
#include <vector>

namespace vx {

namespace {

// The argument array handed to Invoke, already in IDispatch's last-to-first
// order. Only what this call made itself (string copies, variant copies) is
// cleared; references and by-reference slots belong to the caller.
class ArgumentList {
  public:
    explicit ArgumentList(size_t count) : args_(count), owned_(count, false) {
        for (VARIANTARG& arg : args_)
            VariantInit(&arg);
    }
    ~ArgumentList() {
        for (size_t i = 0; i < args_.size(); ++i)
            if (owned_[i]) VariantClear(&args_[i]);
    }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;

    // The n-th argument of the type string (0 is the first).
    VARIANTARG& At(size_t n) { return args_[args_.size() - 1 - n]; }
    void Own(size_t n) { owned_[args_.size() - 1 - n] = true; }

    VARIANTARG* Data() { return args_.empty() ? nullptr : args_.data(); }
    UINT Count() const { return static_cast<UINT>(args_.size()); }

  private:
    std::vector<VARIANTARG> args_;
    std::vector<bool> owned_;
};

// Number of arguments the type string describes; each code counts once,
// with or without its leading '&'. Validity is checked while building.
size_t CountArguments(const char* types) {
    size_t n = 0;
    for (const char* p = types; *p; ++p)
        if (*p != '&') ++n;
    return n;
}

HRESULT StoreByValue(char code, va_list& ap, ArgumentList& args, size_t n) {
    VARIANTARG& arg = args.At(n);
    switch (code) {
    case 'i':
        V_VT(&arg) = VT_I2;
        V_I2(&arg) = static_cast<SHORT>(va_arg(ap, int));
        return S_OK;
    case 'I':
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = va_arg(ap, long);
        return S_OK;
    case 's': {
        const wchar_t* text = va_arg(ap, const wchar_t*);
        BSTR copy = SysAllocString(text ? text : L"");
        if (!copy) return E_OUTOFMEMORY;
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = copy;
        args.Own(n);
        return S_OK;
    }
    case 'b':
        V_VT(&arg) = VT_BOOL;
        V_BOOL(&arg) = va_arg(ap, int) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}

struct ReferenceCode {
    char code;
    VARTYPE type;
};
constexpr ReferenceCode kReferenceCodes[] = {{'I', VT_I4}, {'s', VT_BSTR}};

HRESULT StoreByReference(char code, va_list& ap, ArgumentList& args, size_t n) {
    for (const ReferenceCode& entry : kReferenceCodes) {
        if (entry.code != code) continue;
        // Every by-reference member of VARIANT shares the one pointer slot.
        VARIANTARG& arg = args.At(n);
        V_VT(&arg) = static_cast<VARTYPE>(VT_BYREF | entry.type);
        V_BYREF(&arg) = va_arg(ap, void*);
        return S_OK;
    }
    return E_INVALIDARG;
}

} // namespace

void DispatchObject::Attach(IDispatch* disp) {
    if (disp != disp_.Get()) ids_.clear();
    disp_ = ComPtr<IDispatch>(disp);
}

HRESULT DispatchObject::Create(const wchar_t* progId, DWORD classContext) {
    disp_.Reset();
    ids_.clear();
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    ComPtr<IUnknown> unknown;
    hr = CoCreateInstance(clsid, nullptr, classContext, IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IDispatch> disp;
    hr = unknown.As(IID_IDispatch, &disp);
    if (FAILED(hr)) return hr;
    if (!disp) return E_NOINTERFACE;
    disp_ = std::move(disp);
    return S_OK;
}

HRESULT DispatchObject::MemberId(const wchar_t* name, DISPID* id) {
    for (const auto& known : ids_)
        if (known.first == name) {
            *id = known.second;
            return S_OK;
        }
    // The object may change during the outgoing lookup (a nested call can
    // attach another): remember the answer only for the one it came from.
    ComPtr<IDispatch> asked = disp_;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = asked->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    if (SUCCEEDED(hr) && asked.Get() == disp_.Get()) ids_.emplace_back(name, *id);
    return hr;
}

HRESULT DispatchObject::InvokeByName(const wchar_t* name, WORD kind, VARIANT* result,
                                     const char* types, ...) {
    if (!disp_ || !name) return E_INVALIDARG;
    if (!types) types = "";

    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = MemberId(name, &dispid);
    if (FAILED(hr)) return hr;

    ArgumentList args(CountArguments(types));
    va_list ap;
    va_start(ap, types);
    size_t n = 0;
    for (const char* p = types; *p && SUCCEEDED(hr); ++p, ++n) {
        if (*p == '&') {
            ++p;
            hr = StoreByReference(*p, ap, args, n);
            if (!*p) break;
        } else {
            hr = StoreByValue(*p, ap, args, n);
        }
    }
    va_end(ap);
    if (FAILED(hr)) return hr;

    DISPPARAMS params = {};
    params.rgvarg = args.Data();
    params.cArgs = args.Count();
    DISPID namedPut = DISPID_PROPERTYPUT;
    if (kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (params.cArgs != 1) return E_INVALIDARG;
        params.rgdispidNamedArgs = &namedPut;
        params.cNamedArgs = 1;
    }

    Variant local;
    if (result)
        VariantInit(result);
    else
        result = local.Get();
    return disp_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr,
                         nullptr);
}

} // namespace vx
