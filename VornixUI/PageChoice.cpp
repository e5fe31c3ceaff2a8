#include "PageChoice.h"

#include "common/WindowThunk.h"

namespace vx {

HRESULT PageChoice::Open(HWND parent, const std::wstring& address, PageEvents* events) {
    Close();
    parent_ = parent;
    address_ = address;
    events_ = events;
    current_ = &preferred_;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return FallBack();
    timer_.Reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 instance, this));
    // Without a timer there is no telling that the page never came.
    if (!timer_ || !SetTimer(timer_.Get(), 1, waitMs_, nullptr)) return FallBack();
    if (FAILED(preferred_.Open(parent, address, this))) return FallBack();
    return S_OK;
}

void PageChoice::Close() {
    timer_.Reset();
    current_->Close();
    current_ = &preferred_;
    events_ = nullptr;
}

HRESULT PageChoice::FallBack() {
    timer_.Reset();
    preferred_.Close();
    current_ = &fallback_;
    return fallback_.Open(parent_, address_, this);
}

void PageChoice::OnDocumentComplete(bool topLevel) {
    if (topLevel && current_ == &preferred_) timer_.Reset();
    if (events_) events_->OnDocumentComplete(topLevel);
}

void PageChoice::OnElementClick(const wchar_t* id) {
    if (events_) events_->OnElementClick(id);
}

LRESULT CALLBACK PageChoice::WindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    return ForwardWindowMessage(window, msg, wp, lp, &PageChoice::OnMessage);
}

LRESULT PageChoice::OnMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        return OnTimer();
    default:
        return DefWindowProcW(window, msg, wp, lp);
    }
}

LRESULT PageChoice::OnTimer() {
    if (current_ == &preferred_) FallBack();
    return 0;
}

} // namespace vx
