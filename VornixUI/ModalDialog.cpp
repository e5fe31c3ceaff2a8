#include "ModalDialog.h"

namespace vx {

ModalDialog::~ModalDialog() {
    if (!hwnd_) return;
    // The derived part is gone already: its handlers must not see the
    // destruction messages.
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
}

INT_PTR ModalDialog::Run(HWND owner) {
    ended_ = false;
    result_ = -1;
    HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd) return -1;
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    if (!ended_) ShowWindow(hwnd, SW_SHOWNORMAL);

    MSG msg;
    while (!ended_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // Leave the quit for the loop that owns it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (PreTranslate(&msg) || IsDialogMessageW(hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    // The owner must be enabled before this window goes, or Windows hands
    // the activation to some other program.
    if (disableOwner) EnableWindow(owner, TRUE);
    if (hwnd_) DestroyWindow(hwnd_);
    return result_;
}

void ModalDialog::End(INT_PTR result) {
    result_ = result;
    ended_ = true;
    // Wakes the loop when End comes from outside a dispatched message.
    if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

INT_PTR CALLBACK ModalDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<ModalDialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
    }
    if (!self) return FALSE;

    bool handled = false;
    INT_PTR answer = self->OnMessage(msg, wp, lp, &handled);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    if (!handled) return FALSE;
    // Messages that return a value of their own (colours, cursor, drag icon)
    // answer through the procedure's result; the rest through DWLP_MSGRESULT.
    switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_QUERYDRAGICON:
        return answer;
    default:
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, answer);
        return TRUE;
    }
}

} // namespace vx
