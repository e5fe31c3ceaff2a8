// What the control panel sees of its HTML page: elements found by id, four
// of their properties, and two events. BrowserPage implements it over the
// system's web browser control, NativePage with the system's own controls
// and PageChoice by picking one of those.
#pragma once

#include <windows.h>

#include <string>

namespace vx {

enum class PageFlag { Checked, Indeterminate };
enum class PageText { Value, InnerText };

class PageEvents {
  public:
    // The control panel's own page has loaded (no other document is
    // reported); topLevel: as the page itself rather than in a frame.
    virtual void OnDocumentComplete(bool topLevel) = 0;
    virtual void OnElementClick(const wchar_t* id) = 0;

  protected:
    ~PageEvents() = default;
};

class HtmlPage {
  public:
    virtual ~HtmlPage() = default;

    // Fills parent's client area and starts loading address; events arrive
    // later, from the message loop, until Close.
    virtual HRESULT Open(HWND parent, const std::wstring& address, PageEvents* events) = 0;
    virtual void Resize(const RECT& area) = 0;
    virtual void Close() = 0;
    // Gives the page the keyboard messages it handles itself (tabbing
    // between its elements); true when it took the message.
    virtual bool TranslateKey(MSG* msg) = 0;

    // Routes the element's onclick to PageEvents::OnElementClick. S_FALSE
    // when the page has no element with that id.
    virtual HRESULT ConnectClick(const wchar_t* id) = 0;

    // S_FALSE, with the value untouched, when the element is missing or has
    // no such property.
    virtual HRESULT GetFlag(const wchar_t* id, PageFlag flag, bool* value) = 0;
    virtual HRESULT SetFlag(const wchar_t* id, PageFlag flag, bool value) = 0;
    virtual HRESULT GetText(const wchar_t* id, PageText text, std::wstring* value) = 0;
    virtual HRESULT SetText(const wchar_t* id, PageText text, const std::wstring& value) = 0;
};

} // namespace vx
