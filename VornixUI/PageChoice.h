// The control panel's page where it can be shown: the preferred page (the
// browser's) when it opens and completes within the wait, otherwise the
// fallback (native) page in its place. The dialog sees one page throughout.
#pragma once

#include "HtmlPage.h"

#include "common/Scoped.h"

namespace vx {

class PageChoice : public HtmlPage, private PageEvents {
  public:
    static constexpr const wchar_t* kWindowClass = L"VornixUIPageChoice";

    PageChoice(HtmlPage& preferred, HtmlPage& fallback, UINT waitMs)
        : preferred_(preferred), fallback_(fallback), waitMs_(waitMs) {}
    ~PageChoice() override { Close(); }
    PageChoice(const PageChoice&) = delete;
    PageChoice& operator=(const PageChoice&) = delete;

    // Whether the fallback has taken over.
    bool FellBack() const { return current_ == &fallback_; }

    HRESULT Open(HWND parent, const std::wstring& address, PageEvents* events) override;
    void Resize(const RECT& area) override { current_->Resize(area); }
    void Close() override;
    bool TranslateKey(MSG* msg) override { return current_->TranslateKey(msg); }

    HRESULT ConnectClick(const wchar_t* id) override { return current_->ConnectClick(id); }
    HRESULT GetFlag(const wchar_t* id, PageFlag flag, bool* value) override {
        return current_->GetFlag(id, flag, value);
    }
    HRESULT SetFlag(const wchar_t* id, PageFlag flag, bool value) override {
        return current_->SetFlag(id, flag, value);
    }
    HRESULT GetText(const wchar_t* id, PageText text, std::wstring* value) override {
        return current_->GetText(id, text, value);
    }
    HRESULT SetText(const wchar_t* id, PageText text, const std::wstring& value) override {
        return current_->SetText(id, text, value);
    }

  private:
    void OnDocumentComplete(bool topLevel) override;
    void OnElementClick(const wchar_t* id) override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnTimer();
    HRESULT FallBack();

    HtmlPage& preferred_;
    HtmlPage& fallback_;
    HtmlPage* current_ = &preferred_;
    UINT waitMs_;
    HWND parent_ = nullptr;
    std::wstring address_;
    PageEvents* events_ = nullptr;
    // Message-only; its timer is the wait.
    ScopedGdiLike<HWND, DestroyWindow> timer_;
};

} // namespace vx
