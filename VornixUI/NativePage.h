// The control panel's page made of the system's own controls, for when no
// HTML engine can show vornixui-popup.htm: the same groups, labels and
// element ids, laid out from one table (NativePage.cpp) and scaled for the
// screen's DPI.
#pragma once

#include "HtmlPage.h"

#include "common/Scoped.h"

#include <vector>

namespace vx {

// What each row of the page's table becomes.
enum class PartKind {
    Title,  // the product's name in the banner
    Count,  // the clickable block count in the banner, after its label
    Hint,   // small text under the count
    Group,  // a framed group with its heading, in the row's column
    Check,  // a check box on a line of its own
    Key,    // a check box on a shared line
    Text,   // a line of text
    Field,  // a text box after its label
    Lines,  // a read-only box of several lines
    Button, // a push button on a shared line
    Note,   // grey text, after the buttons when there are any
    Link,   // a web-style link on a shared line
    Enter,  // OK, at the bottom right: Enter presses it
    Escape, // Close, beside it: Escape presses it
};

struct PagePart {
    const wchar_t* id; // the page's element id; null for plain text
    PartKind kind;
    const wchar_t* label;
    int column;
};

class NativePage : public HtmlPage {
  public:
    static constexpr const wchar_t* kWindowClass = L"VornixUINativePage";

    // The control id of the element's window inside the page window; 0 for
    // an id the page does not have.
    static int ControlId(const wchar_t* id);

    NativePage() = default;
    ~NativePage() override { Close(); }
    NativePage(const NativePage&) = delete;
    NativePage& operator=(const NativePage&) = delete;

    // The document is complete as soon as the controls exist; that is
    // reported from the message loop, like the browser's page.
    HRESULT Open(HWND parent, const std::wstring& address, PageEvents* events) override;
    void Resize(const RECT& area) override;
    void Close() override;
    // Enter is OK and Escape is Close, wherever the focus is, except that
    // Enter on a button presses that button.
    bool TranslateKey(MSG* msg) override;

    HRESULT ConnectClick(const wchar_t* id) override;
    HRESULT GetFlag(const wchar_t* id, PageFlag flag, bool* value) override;
    HRESULT SetFlag(const wchar_t* id, PageFlag flag, bool value) override;
    HRESULT GetText(const wchar_t* id, PageText text, std::wstring* value) override;
    HRESULT SetText(const wchar_t* id, PageText text, const std::wstring& value) override;

  private:
    struct Control {
        const PagePart* part;
        HWND window;
        bool clickConnected;
        bool indeterminate;
    };
    using GdiObject = ScopedGdiLike<HGDIOBJ, DeleteObject>;

    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnCompleted();
    LRESULT OnCommand(WORD code, HWND from);
    LRESULT OnPaint();
    LRESULT OnCtlColor(HDC dc, HWND control);
    LRESULT OnDrawItem(const DRAWITEMSTRUCT* item);
    LRESULT OnSetCursor(HWND over, WPARAM wp, LPARAM lp);

    HRESULT MakeFonts(HWND parent);
    HRESULT Build();
    // label: the text before the row's control, rather than the control.
    HRESULT Add(const PagePart& part, const wchar_t* windowClass, DWORD style, const RECT& at,
                bool label = false);
    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    int TextWidth(HFONT font, const wchar_t* text) const;
    HFONT FontOf(PartKind kind) const;
    Control* Find(const wchar_t* id);
    Control* FindWindowOf(HWND window);
    void Click(Control& control);

    ScopedGdiLike<HWND, DestroyWindow> window_;
    PageEvents* events_ = nullptr;
    int dpi_ = 96;
    std::vector<Control> controls_;
    std::vector<RECT> groups_;
    HFONT bodyFont_ = nullptr; // the dialog's own
    GdiObject titleFont_, headingFont_, countFont_, hintFont_, linkFont_;
    GdiObject bannerBrush_;
};

} // namespace vx
