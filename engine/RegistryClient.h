// The agent's client of the settings service's Registry object. The engine
// keeps one for as long as the service answers; every failed call is logged
// and answers its default.
#pragma once

#include "common/DispatchObject.h"

#include <string>

namespace vx {

class RegistryClient : public DispatchObject {
  public:
    static constexpr const wchar_t* kProgId = L"KrellinSvc.Registry.1";
    // The capacity of the string GetAppString hands the service.
    static constexpr UINT kTextCapacity = 260;

    // Creates a Registry object in the settings service.
    RegistryClient();

    // Points the object at the product's settings key; answers the first
    // failure, if any.
    HRESULT SetProductPath();

    // `value` carries the default in and the answer out.
    HRESULT GetAppString(const wchar_t* name, std::wstring& value);
    HRESULT SetAppString(const wchar_t* name, const std::wstring& value);
    HRESULT GetAppDWORD(const wchar_t* name, LONG& value);
    HRESULT SetAppDWORD(const wchar_t* name, LONG value);
    // A list of text lines, "\r\n" between them; a missing list reads as "".
    HRESULT GetAppList(const wchar_t* name, std::wstring& lines);
    HRESULT SetAppList(const wchar_t* name, const std::wstring& lines);
    HRESULT DisableMessenger();

  private:
    HRESULT Logged(HRESULT hr);
};

} // namespace vx
