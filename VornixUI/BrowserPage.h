// The control panel's page in the system's web browser control.
#pragma once

#include "BrowserSite.h"
#include "ElementClick.h"
#include "HtmlPage.h"

#include <mshtml.h>

#include <vector>

namespace vx {

class BrowserPage : public HtmlPage {
  public:
    BrowserPage() = default;
    ~BrowserPage() override { Close(); }
    BrowserPage(const BrowserPage&) = delete;
    BrowserPage& operator=(const BrowserPage&) = delete;

    HRESULT Open(HWND parent, const std::wstring& address, PageEvents* events) override;
    void Resize(const RECT& area) override;
    void Close() override;
    bool TranslateKey(MSG* msg) override;

    HRESULT ConnectClick(const wchar_t* id) override;
    HRESULT GetFlag(const wchar_t* id, PageFlag flag, bool* value) override;
    HRESULT SetFlag(const wchar_t* id, PageFlag flag, bool value) override;
    HRESULT GetText(const wchar_t* id, PageText text, std::wstring* value) override;
    HRESULT SetText(const wchar_t* id, PageText text, const std::wstring& value) override;

  private:
    // S_FALSE, with nothing in out, when the document has no such element.
    HRESULT Element(const wchar_t* id, ComPtr<IHTMLElement>* out);
    HRESULT InputElement(const wchar_t* id, ComPtr<IHTMLInputElement>* out);
    HRESULT TextBox(const wchar_t* id, ComPtr<IHTMLInputElement>* input,
                    ComPtr<IHTMLTextAreaElement>* area);

    ComPtr<BrowserSite> site_;
    PageEvents* events_ = nullptr;
    std::vector<ComPtr<ElementClick>> clicks_;
};

} // namespace vx
