#include "RegistryClient.h"

#include "common/StatusLog.h"
#include "common/Product.h"

#include <algorithm>

namespace vx {

RegistryClient::RegistryClient() {
    HRESULT hr = Create(kProgId, CLSCTX_LOCAL_SERVER);
    if (FAILED(hr)) LogFailure("Explorer Creation Error...", hr);
}

HRESULT RegistryClient::Logged(HRESULT hr) {
    if (FAILED(hr)) LogFailure("Registry Invoke Error...", hr);
    return hr;
}

HRESULT RegistryClient::SetProductPath() {
    const struct {
        const wchar_t* name;
        const char* type;
        const wchar_t* text;
    } parts[] = {
        {L"TopFolder", "s", kSettingsTopFolder},
        {L"Company", "s", kSettingsCompany},
        {L"Product", "s", kSettingsProduct},
        {L"Version", "s", kSettingsVersion},
    };
    HRESULT first =
        Logged(InvokeByName(L"TopLevelKey", DISPATCH_PROPERTYPUT, nullptr, "I", kSettingsRootKey));
    for (const auto& part : parts) {
        HRESULT hr = Logged(InvokeByName(part.name, DISPATCH_PROPERTYPUT, nullptr, part.type, part.text));
        if (SUCCEEDED(first)) first = hr;
    }
    return first;
}

HRESULT RegistryClient::GetAppString(const wchar_t* name, std::wstring& value) {
    // The service overwrites the string in place when the value exists, so
    // it must be long enough for any stored text: the default, a zero, and
    // room up to the fixed capacity.
    Bstr text(nullptr, kTextCapacity);
    if (text.IsNull()) return Logged(E_OUTOFMEMORY);
    std::fill(text.Get(), text.Get() + kTextCapacity, L'\0');
    size_t keep = std::min<size_t>(value.size(), kTextCapacity - 1);
    std::copy(value.begin(), value.begin() + keep, text.Get());

    BSTR inOut = text.Detach();
    HRESULT hr = InvokeByName(L"GetAppString", DISPATCH_METHOD, nullptr, "s&s", name, &inOut);
    Bstr answer = Bstr::Attach(inOut);
    if (FAILED(hr)) return Logged(hr);
    const wchar_t* begin = answer.Get();
    if (begin) value.assign(begin, std::find(begin, begin + answer.Length(), L'\0'));
    return hr;
}

HRESULT RegistryClient::SetAppString(const wchar_t* name, const std::wstring& value) {
    return Logged(
        InvokeByName(L"SetAppString", DISPATCH_METHOD, nullptr, "ss", name, value.c_str()));
}

HRESULT RegistryClient::GetAppDWORD(const wchar_t* name, LONG& value) {
    LONG inOut = value;
    HRESULT hr = InvokeByName(L"GetAppDWORD", DISPATCH_METHOD, nullptr, "s&I", name, &inOut);
    if (FAILED(hr)) return Logged(hr);
    value = inOut;
    return hr;
}

HRESULT RegistryClient::SetAppDWORD(const wchar_t* name, LONG value) {
    return Logged(InvokeByName(L"SetAppDWORD", DISPATCH_METHOD, nullptr, "sI", name, value));
}

HRESULT RegistryClient::GetAppList(const wchar_t* name, std::wstring& lines) {
    Variant answer;
    HRESULT hr = InvokeByName(L"GetAppList", DISPATCH_METHOD, answer.Get(), "s", name);
    if (SUCCEEDED(hr) && V_VT(answer.Get()) != VT_BSTR) hr = DISP_E_TYPEMISMATCH;
    if (FAILED(hr)) return Logged(hr);
    BSTR text = V_BSTR(answer.Get());
    lines.assign(text ? text : L"", SysStringLen(text));
    return hr;
}

HRESULT RegistryClient::SetAppList(const wchar_t* name, const std::wstring& lines) {
    return Logged(InvokeByName(L"SetAppList", DISPATCH_METHOD, nullptr, "ss", name, lines.c_str()));
}

HRESULT RegistryClient::DisableMessenger() {
    return Logged(InvokeByName(L"DisableMessenger", DISPATCH_METHOD, nullptr));
}

} // namespace vx
