#include "AboutDialog.h"

#include "DesktopCalls.h"
#include "common/Product.h"
#include "VornixUIResources.h"

#include <string>

namespace vx {

AboutDialog::AboutDialog() : ModalDialog(IDD_ABOUTBOX) {}

INT_PTR AboutDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
    *handled = true;
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_COMMAND:
        return OnCommand(LOWORD(wp), HIWORD(wp));
    case WM_SETCURSOR:
        if (OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
        *handled = false;
        return 0;
    case WM_CLOSE:
        End(IDCANCEL);
        return 0;
    default:
        *handled = false;
        return 0;
    }
}

INT_PTR AboutDialog::OnInitDialog() {
    HDC screen = GetDC(Window());
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(Window(), screen);
    linkFont_.Reset(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    if (linkFont_)
        SendDlgItemMessageW(Window(), IDC_WEBSITE, WM_SETFONT,
                            reinterpret_cast<WPARAM>(linkFont_.Get()), FALSE);
    const std::string text = std::string("www.") + kMakerDomain;
    SetDlgItemTextA(Window(), IDC_WEBSITE, text.c_str());
    return TRUE;
}

INT_PTR AboutDialog::OnCtlColor(HDC dc, HWND control) {
    SetBkColor(dc, RGB(255, 255, 255));
    if (control && GetDlgCtrlID(control) == IDC_WEBSITE) SetTextColor(dc, RGB(0, 0, 255));
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

INT_PTR AboutDialog::OnCommand(WORD id, WORD code) {
    if (id == IDC_WEBSITE && code == STN_CLICKED) {
        Desktop().shellOpen(Window(), kMakerWebSite);
    } else if (id == IDOK || id == IDCANCEL) {
        End(id);
    }
    return 0;
}

bool AboutDialog::OnSetCursor(HWND over) {
    if (!over || GetDlgCtrlID(over) != IDC_WEBSITE) return false;
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    return true;
}

} // namespace vx
