#pragma once

#include "FakeConnectionPoint.h"

#include <functional>

namespace vx::fakes {

constexpr const wchar_t* kIEFullName = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";
constexpr const wchar_t* kFolderFullName = L"C:\\windows\\explorer.exe";

// A browser object as the engine sees it: FullName, LocationURL, Visible,
// Quit and the DWebBrowserEvents2 connection point.
class FakeBrowser : public FakeDispatch {
  public:
    explicit FakeBrowser(std::wstring fullName = kIEFullName, std::wstring url = L"",
                         bool visible = true);

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

    // Events, as Internet Explorer fires them.
    void FireNewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel);
    void FireBeforeNavigate2(const wchar_t* url, const wchar_t* targetFrame, VARIANT_BOOL* cancel);
    void FireNavigateComplete2(const wchar_t* url);
    void FireWindowSetResizable(bool resizable);
    // OnQuit; Quit fires it too, before onQuit runs.
    void FireQuit();

    std::wstring fullName;
    std::wstring locationUrl;
    bool visible;
    int visiblePuts = 0;
    int quits = 0;
    int fullNameReads = 0;
    std::function<void(FakeBrowser*)> onQuit;
};

} // namespace vx::fakes
