// The one window procedure of our window classes: the object given as the
// window's creation parameter hears its messages through a member, from
// WM_NCCREATE until WM_NCDESTROY.
#pragma once

#include <windows.h>

namespace vx {

template <typename T>
LRESULT ForwardWindowMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp,
                             LRESULT (T::*onMessage)(HWND, UINT, WPARAM, LPARAM)) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || msg == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return DefWindowProcW(window, msg, wp, lp);
    }
    return (self->*onMessage)(window, msg, wp, lp);
}

} // namespace vx
