// A modal dialog from a template, with the message loop in our hands so that
// a hosted control can see keyboard messages before the dialog manager does.
#pragma once

#include <windows.h>

namespace vx {

class ModalDialog {
  public:
    explicit ModalDialog(UINT templateId) : templateId_(templateId) {}
    virtual ~ModalDialog();
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Creates the window, disables the owner and runs until End; returns the
    // value given to End, or -1 when the window could not be created.
    INT_PTR Run(HWND owner);

    HWND Window() const { return hwnd_; }
    bool Ended() const { return ended_; }
    INT_PTR Result() const { return result_; }

  protected:
    // Ends the modal loop; also valid when no window exists.
    void End(INT_PTR result);

    // A dialog procedure's answer: handled or not, and the value returned.
    // Messages not handled get the dialog manager's default.
    virtual INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) = 0;
    virtual bool PreTranslate(MSG*) { return false; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    UINT templateId_;
    HWND hwnd_ = nullptr;
    bool ended_ = false;
    INT_PTR result_ = 0;
};

} // namespace vx
