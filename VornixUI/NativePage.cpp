#include "NativePage.h"

#include "common/WindowThunk.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace vx {

namespace {

// vornixui-popup.htm, row by row: its ids, labels and groups in its order,
// which is also the tab order. A group's rows follow it; column 1 is the
// right-hand one.
const PagePart kParts[] = {
    {nullptr, PartKind::Title, L"Vornix! Popup Blocker", 0},
    {L"NumPopups", PartKind::Count, L"Popups blocked so far:", 0},
    {nullptr, PartKind::Hint, L"Click the number to refresh it", 0},
    {nullptr, PartKind::Group, L"Blocking", 0},
    {L"NoSameSite", PartKind::Check, L"Block popups from the same site too", 0},
    {L"NoFixed", PartKind::Check, L"Close popups that cannot be resized", 0},
    {L"AllowClicked", PartKind::Check, L"Let through popups I click for", 0},
    {nullptr, PartKind::Text, L"Let popups through while I hold down:", 0},
    {L"Ctrl", PartKind::Key, L"Ctrl", 0},
    {L"Alt", PartKind::Key, L"Alt", 0},
    {L"Shift", PartKind::Key, L"Shift", 0},
    {nullptr, PartKind::Group, L"Blocker", 0},
    {L"ShowTray", PartKind::Check, L"Show the icon in the notification area", 0},
    {L"ShowDiag", PartKind::Check, L"Show the diagnostics window", 0},
    {L"NotifyBlock", PartKind::Check, L"Tell me when a popup is blocked", 0},
    {L"Quit", PartKind::Check, L"Stop the popup blocker", 0},
    {nullptr, PartKind::Group, L"Sound", 1},
    {L"MuteAudio", PartKind::Check, L"No sound when a popup is blocked", 0},
    {L"FileName", PartKind::Field, L"Sound file:", 0},
    {L"PickFile", PartKind::Button, L"Choose...", 0},
    {L"Play", PartKind::Button, L"Play", 0},
    {nullptr, PartKind::Note, L"Wave files (.wav) only", 0},
    {nullptr, PartKind::Group, L"Allowed sites", 1},
    {nullptr, PartKind::Text, L"Let popups through from these sites:", 0},
    {L"Sites", PartKind::Lines, L"", 0},
    {L"NewSite", PartKind::Field, L"Site:", 0},
    {L"AddSite", PartKind::Button, L"Add", 0},
    {L"RemoveSite", PartKind::Button, L"Remove", 0},
    {nullptr, PartKind::Group, L"Help", 1},
    {nullptr, PartKind::Note, L"Every change takes effect at once.", 0},
    {L"Vhelp", PartKind::Link, L"Help", 0},
    {L"Vabout", PartKind::Link, L"About", 0},
    {L"WebSite", PartKind::Link, L"www.quandrel.com", 0},
    {L"ButtonOK", PartKind::Enter, L"OK", 0},
    {L"ButtonCancel", PartKind::Escape, L"Close", 0},
};

constexpr int kFirstControlId = 100;
// A row's second window (the label before a count or a text box).
constexpr int kLabelId = 0xFFFF;
constexpr UINT kCompleted = WM_APP + 1;

// The page's colours.
constexpr COLORREF kHeader = RGB(0xb3, 0x26, 0x1e);
constexpr COLORREF kHeaderText = RGB(0xff, 0xff, 0xff);
constexpr COLORREF kHintText = RGB(0xf6, 0xd5, 0xd3);
constexpr COLORREF kBodyText = RGB(0x1f, 0x23, 0x28);
constexpr COLORREF kNoteText = RGB(0x57, 0x60, 0x6a);
constexpr COLORREF kLinkText = RGB(0x0b, 0x57, 0xd0);
constexpr COLORREF kGroupBorder = RGB(0xd0, 0xd7, 0xde);

// Its measures, in pixels at 96 DPI.
constexpr int kMargin = 14;
constexpr int kBanner = 50;
constexpr int kColumnWidth = 296;
constexpr int kColumnGap = 16;
constexpr int kGroupPadX = 10, kGroupPadTop = 6, kGroupPadBottom = 7, kGroupGap = 8;
constexpr int kLine = 20;
constexpr int kTallLine = 26;
constexpr int kCountWidth = 64;
constexpr int kFieldWidth = 182;
constexpr int kListHeight = 62;
constexpr int kCommandWidth = 80, kCommandHeight = 24, kCommandGap = 6, kCommandBottom = 10;

bool IsCheckBox(PartKind kind) {
    return kind == PartKind::Check || kind == PartKind::Key;
}

// Elements with a value rather than an inner text.
bool IsTextBox(PartKind kind) {
    return kind == PartKind::Field || kind == PartKind::Lines;
}

// Rows whose label is a window of its own, before the row's control.
bool HasOwnLabel(PartKind kind) {
    return kind == PartKind::Count || kind == PartKind::Field;
}

bool OnBanner(PartKind kind) {
    return kind == PartKind::Title || kind == PartKind::Count || kind == PartKind::Hint;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

} // namespace

int NativePage::ControlId(const wchar_t* id) {
    for (size_t i = 0; i < std::size(kParts); ++i)
        if (kParts[i].id && wcscmp(kParts[i].id, id) == 0)
            return kFirstControlId + static_cast<int>(i);
    return 0;
}

HRESULT NativePage::Open(HWND parent, const std::wstring&, PageEvents* events) {
    Close();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return HRESULT_FROM_WIN32(GetLastError());

    HDC screen = GetDC(nullptr);
    dpi_ = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    RECT area = {};
    GetClientRect(parent, &area);
    window_.Reset(CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, area.right,
                                  area.bottom, parent, nullptr, instance, this));
    if (!window_) return HRESULT_FROM_WIN32(GetLastError());
    events_ = events;
    HRESULT hr = MakeFonts(parent);
    if (SUCCEEDED(hr)) hr = Build();
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    if (GetActiveWindow() == parent) SetFocus(GetNextDlgTabItem(parent, nullptr, FALSE));
    PostMessageW(window_.Get(), kCompleted, 0, 0);
    return S_OK;
}

void NativePage::Resize(const RECT& area) {
    if (window_)
        MoveWindow(window_.Get(), area.left, area.top, area.right - area.left,
                   area.bottom - area.top, TRUE);
}

void NativePage::Close() {
    events_ = nullptr;
    window_.Reset();
    bodyFont_ = nullptr;
    controls_.clear();
    groups_.clear();
    titleFont_.Reset();
    headingFont_.Reset();
    countFont_.Reset();
    hintFont_.Reset();
    linkFont_.Reset();
    bannerBrush_.Reset();
}

bool NativePage::TranslateKey(MSG* msg) {
    if (!window_ || msg->message != WM_KEYDOWN || !IsChild(window_.Get(), msg->hwnd)) return false;
    if (msg->wParam != VK_RETURN && msg->wParam != VK_ESCAPE) return false;
    Control* focused = FindWindowOf(msg->hwnd);
    const bool pressesFocused = msg->wParam == VK_RETURN && focused &&
                                !IsCheckBox(focused->part->kind) &&
                                !IsTextBox(focused->part->kind);
    if (pressesFocused) {
        Click(*focused);
        return true;
    }
    const PartKind wanted = msg->wParam == VK_RETURN ? PartKind::Enter : PartKind::Escape;
    for (Control& c : controls_) {
        if (c.part->kind == wanted) {
            Click(c);
            return true;
        }
    }
    return false;
}

HRESULT NativePage::ConnectClick(const wchar_t* id) {
    Control* c = Find(id);
    if (!c) return S_FALSE;
    c->clickConnected = true;
    return S_OK;
}

HRESULT NativePage::GetFlag(const wchar_t* id, PageFlag flag, bool* value) {
    Control* c = Find(id);
    if (!c || !IsCheckBox(c->part->kind)) return S_FALSE;
    *value = flag == PageFlag::Checked ? SendMessageW(c->window, BM_GETCHECK, 0, 0) == BST_CHECKED
                                       : c->indeterminate;
    return S_OK;
}

// A check box shows checked or not; "indeterminate" is kept and answered,
// and a click ends it, as in the HTML page.
HRESULT NativePage::SetFlag(const wchar_t* id, PageFlag flag, bool value) {
    Control* c = Find(id);
    if (!c || !IsCheckBox(c->part->kind)) return S_FALSE;
    if (flag == PageFlag::Checked)
        SendMessageW(c->window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    else
        c->indeterminate = value;
    return S_OK;
}

// A text box has a value; every other element but a check box inner text.
HRESULT NativePage::GetText(const wchar_t* id, PageText text, std::wstring* value) {
    Control* c = Find(id);
    if (!c || IsCheckBox(c->part->kind)) return S_FALSE;
    if ((text == PageText::Value) != IsTextBox(c->part->kind)) return S_FALSE;
    *value = WindowText(c->window);
    return S_OK;
}

HRESULT NativePage::SetText(const wchar_t* id, PageText text, const std::wstring& value) {
    Control* c = Find(id);
    if (!c || IsCheckBox(c->part->kind)) return S_FALSE;
    if ((text == PageText::Value) != IsTextBox(c->part->kind)) return S_FALSE;
    if (!SetWindowTextW(c->window, value.c_str())) return HRESULT_FROM_WIN32(GetLastError());
    InvalidateRect(c->window, nullptr, TRUE);
    return S_OK;
}

// ---- The page window ------------------------------------------------------

LRESULT CALLBACK NativePage::WindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    return ForwardWindowMessage(window, msg, wp, lp, &NativePage::OnMessage);
}

LRESULT NativePage::OnMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kCompleted:
        return OnCompleted();
    case WM_COMMAND:
        return OnCommand(HIWORD(wp), reinterpret_cast<HWND>(lp));
    case WM_PAINT:
        return OnPaint();
    case WM_CTLCOLORSTATIC:
        return OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_CTLCOLORBTN:
        return OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_DRAWITEM:
        return OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    case WM_SETCURSOR:
        return OnSetCursor(reinterpret_cast<HWND>(wp), wp, lp);
    default:
        return DefWindowProcW(window, msg, wp, lp);
    }
}

LRESULT NativePage::OnCompleted() {
    if (events_) events_->OnDocumentComplete(true);
    return 0;
}

LRESULT NativePage::OnCommand(WORD code, HWND from) {
    Control* c = from ? FindWindowOf(from) : nullptr;
    if (code != BN_CLICKED || !c) return 0;
    c->indeterminate = false;
    Click(*c);
    return 0;
}

LRESULT NativePage::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_.Get(), &ps);
    RECT banner;
    GetClientRect(window_.Get(), &banner);
    banner.bottom = Scale(kBanner);
    FillRect(dc, &banner, static_cast<HBRUSH>(bannerBrush_.Get()));
    GdiObject border(CreateSolidBrush(kGroupBorder));
    for (const RECT& group : groups_)
        FrameRect(dc, &group, static_cast<HBRUSH>(border.Get()));
    EndPaint(window_.Get(), &ps);
    return 0;
}

LRESULT NativePage::OnCtlColor(HDC dc, HWND control) {
    const Control* c = control ? FindWindowOf(control) : nullptr;
    const PartKind kind = c ? c->part->kind : PartKind::Text;
    COLORREF text = kBodyText;
    if (kind == PartKind::Hint)
        text = kHintText;
    else if (OnBanner(kind))
        text = kHeaderText;
    else if (kind == PartKind::Group)
        text = kHeader;
    else if (kind == PartKind::Note)
        text = kNoteText;
    SetTextColor(dc, text);
    SetBkColor(dc, OnBanner(kind) ? kHeader : RGB(0xff, 0xff, 0xff));
    return reinterpret_cast<LRESULT>(OnBanner(kind) ? bannerBrush_.Get()
                                                    : GetStockObject(WHITE_BRUSH));
}

// The count and the links: text on the page's own background, the links
// underlined.
LRESULT NativePage::OnDrawItem(const DRAWITEMSTRUCT* item) {
    const Control* c = item ? FindWindowOf(item->hwndItem) : nullptr;
    if (!c) return FALSE;
    const bool banner = OnBanner(c->part->kind);
    RECT area = item->rcItem;
    FillRect(item->hDC, &area,
             static_cast<HBRUSH>(banner ? bannerBrush_.Get() : GetStockObject(WHITE_BRUSH)));
    HGDIOBJ old = SelectObject(item->hDC, FontOf(c->part->kind));
    SetBkMode(item->hDC, TRANSPARENT);
    SetTextColor(item->hDC, banner ? kHeaderText : kLinkText);
    const std::wstring text = WindowText(item->hwndItem);
    DrawTextW(item->hDC, text.c_str(), static_cast<int>(text.size()), &area,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item->hDC, old);
    if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT))
        DrawFocusRect(item->hDC, &item->rcItem);
    return TRUE;
}

LRESULT NativePage::OnSetCursor(HWND over, WPARAM wp, LPARAM lp) {
    const Control* c = over ? FindWindowOf(over) : nullptr;
    if (!c || (c->part->kind != PartKind::Link && c->part->kind != PartKind::Count) ||
        GetDlgCtrlID(over) == kLabelId)
        return DefWindowProcW(window_.Get(), WM_SETCURSOR, wp, lp);
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    return TRUE;
}

// ---- Building -------------------------------------------------------------

HRESULT NativePage::MakeFonts(HWND parent) {
    bodyFont_ = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
    if (!bodyFont_) bodyFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW body = {};
    if (!GetObjectW(bodyFont_, sizeof body, &body)) return E_FAIL;
    auto variant = [&](int pixels, LONG weight, BOOL underline) {
        LOGFONTW f = body;
        if (pixels) f.lfHeight = -Scale(pixels);
        f.lfWeight = weight;
        f.lfUnderline = static_cast<BYTE>(underline);
        return CreateFontIndirectW(&f);
    };
    titleFont_.Reset(variant(18, FW_BOLD, FALSE));
    headingFont_.Reset(variant(0, FW_BOLD, FALSE));
    countFont_.Reset(variant(16, FW_BOLD, FALSE));
    hintFont_.Reset(variant(10, FW_NORMAL, FALSE));
    linkFont_.Reset(variant(0, FW_NORMAL, TRUE));
    bannerBrush_.Reset(CreateSolidBrush(kHeader));
    if (!titleFont_ || !headingFont_ || !countFont_ || !hintFont_ || !linkFont_ || !bannerBrush_)
        return E_OUTOFMEMORY;
    return S_OK;
}

HFONT NativePage::FontOf(PartKind kind) const {
    switch (kind) {
    case PartKind::Title:
        return static_cast<HFONT>(titleFont_.Get());
    case PartKind::Group:
        return static_cast<HFONT>(headingFont_.Get());
    case PartKind::Count:
        return static_cast<HFONT>(countFont_.Get());
    case PartKind::Hint:
        return static_cast<HFONT>(hintFont_.Get());
    case PartKind::Link:
        return static_cast<HFONT>(linkFont_.Get());
    default:
        return bodyFont_;
    }
}

int NativePage::TextWidth(HFONT font, const wchar_t* text) const {
    HDC dc = GetDC(window_.Get());
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    SelectObject(dc, old);
    ReleaseDC(window_.Get(), dc);
    return size.cx;
}

HRESULT NativePage::Add(const PagePart& part, const wchar_t* windowClass, DWORD style,
                        const RECT& at, bool label) {
    const int id = label ? kLabelId : kFirstControlId + static_cast<int>(&part - kParts);
    HWND control = CreateWindowExW(
        0, windowClass, HasOwnLabel(part.kind) && !label ? L"" : part.label,
        WS_CHILD | WS_VISIBLE | style, at.left, at.top, at.right - at.left, at.bottom - at.top,
        window_.Get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
        nullptr);
    if (!control) return HRESULT_FROM_WIN32(GetLastError());
    SendMessageW(control, WM_SETFONT,
                 reinterpret_cast<WPARAM>(label ? bodyFont_ : FontOf(part.kind)), FALSE);
    controls_.push_back(Control{&part, control, false, false});
    return S_OK;
}

// Rows go down their group's column; check boxes of keys, buttons and links
// share a line, which a note may end.
HRESULT NativePage::Build() {
    RECT client;
    GetClientRect(window_.Get(), &client);
    const int width = client.right, height = client.bottom;
    const int pad = Scale(kGroupPadX), line = Scale(kLine), tall = Scale(kTallLine);
    // The page's two columns fill the dialog, which is sized in dialog units.
    const int columnWidth =
        std::max(Scale(kColumnWidth), (width - 2 * Scale(kMargin) - Scale(kColumnGap)) / 2);
    int top[2] = {Scale(kBanner + kGroupGap), Scale(kBanner + kGroupGap)};
    int column = 0, group = -1;
    int lineX = -1, lineY = 0, lineHeight = 0;
    int commands = 0;
    for (const PagePart& part : kParts)
        if (part.kind == PartKind::Enter || part.kind == PartKind::Escape) ++commands;

    auto closeGroup = [&] {
        if (group < 0) return;
        top[column] += Scale(kGroupPadBottom);
        groups_[group].bottom = top[column];
        top[column] += Scale(kGroupGap);
        group = -1;
    };
    auto closeLine = [&] {
        if (lineX >= 0) top[column] = lineY + lineHeight;
        lineX = -1;
    };
    auto openLine = [&](int indent, int heightOfLine) {
        if (lineX >= 0) return;
        lineX = Scale(kMargin) + column * (columnWidth + Scale(kColumnGap)) + pad + indent;
        lineY = top[column];
        lineHeight = heightOfLine;
    };

    for (const PagePart& part : kParts) {
        const bool sharesLine = part.kind == PartKind::Key || part.kind == PartKind::Button ||
                                part.kind == PartKind::Link || part.kind == PartKind::Note;
        if (!sharesLine) closeLine();
        if (part.kind == PartKind::Group) {
            closeGroup();
            column = part.column;
        }
        const int left = Scale(kMargin) + column * (columnWidth + Scale(kColumnGap)) + pad;
        const int right = left + columnWidth - 2 * pad;
        const int y = top[column];
        const int textWidth = TextWidth(FontOf(part.kind), part.label);
        HRESULT hr = S_OK;
        switch (part.kind) {
        case PartKind::Title:
            hr = Add(part, L"STATIC", SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE,
                     {Scale(kMargin), 0, width / 2, Scale(kBanner)});
            break;
        case PartKind::Count: {
            const int number = width - Scale(kMargin) - Scale(kCountWidth);
            hr = Add(part, L"STATIC", SS_RIGHT | SS_NOPREFIX,
                     {width / 2, Scale(10), number - Scale(4), Scale(26)}, true);
            if (SUCCEEDED(hr))
                hr = Add(part, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP,
                         {number, Scale(6), width - Scale(kMargin), Scale(28)});
            break;
        }
        case PartKind::Hint:
            hr = Add(part, L"STATIC", SS_RIGHT | SS_NOPREFIX,
                     {width / 2, Scale(30), width - Scale(kMargin), Scale(44)});
            break;
        case PartKind::Group:
            group = static_cast<int>(groups_.size());
            groups_.push_back({left - pad, top[column], left - pad + columnWidth, 0});
            top[column] += Scale(kGroupPadTop);
            hr = Add(part, L"STATIC", SS_LEFT | SS_NOPREFIX,
                     {left, top[column], right, top[column] + Scale(16)});
            top[column] += Scale(20);
            break;
        case PartKind::Check:
            hr = Add(part, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, {left, y, right, y + line});
            top[column] += line;
            break;
        case PartKind::Text:
            hr = Add(part, L"STATIC", SS_LEFT | SS_NOPREFIX, {left, y + Scale(3), right, y + line});
            top[column] += line;
            break;
        case PartKind::Field:
            hr = Add(part, L"STATIC", SS_LEFT | SS_NOPREFIX,
                     {left, y + Scale(6), left + textWidth, y + tall}, true);
            if (SUCCEEDED(hr))
                hr = Add(part, L"EDIT", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                         {left + textWidth + Scale(6), y + Scale(2),
                          left + textWidth + Scale(6 + kFieldWidth), y + tall - Scale(2)});
            top[column] += tall;
            break;
        case PartKind::Lines:
            hr = Add(part, L"EDIT",
                     WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                         WS_TABSTOP,
                     {left, y + Scale(2), right, y + Scale(kListHeight)});
            top[column] += Scale(kListHeight + 2);
            break;
        case PartKind::Key:
            openLine(Scale(20), line);
            hr = Add(part, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP,
                     {lineX, lineY, lineX + textWidth + Scale(22), lineY + line});
            lineX += textWidth + Scale(22 + 14);
            break;
        case PartKind::Button:
            openLine(0, tall);
            hr = Add(
                part, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP,
                {lineX, lineY + Scale(1), lineX + textWidth + Scale(20), lineY + tall - Scale(1)});
            lineX += textWidth + Scale(20 + 6);
            break;
        case PartKind::Link:
            openLine(0, line);
            hr = Add(part, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP,
                     {lineX, lineY, lineX + textWidth + Scale(4), lineY + line});
            lineX += textWidth + Scale(4 + 14);
            break;
        case PartKind::Note:
            if (lineX >= 0) {
                hr = Add(part, L"STATIC", SS_LEFT | SS_NOPREFIX,
                         {lineX, lineY + (lineHeight - line) / 2 + Scale(3), right,
                          lineY + (lineHeight + line) / 2});
                closeLine();
            } else {
                hr = Add(part, L"STATIC", SS_LEFT | SS_NOPREFIX,
                         {left, y + Scale(3), right, y + line});
                top[column] += line;
            }
            break;
        case PartKind::Enter:
        case PartKind::Escape: {
            closeGroup();
            const int x = width - Scale(kMargin) - commands * Scale(kCommandWidth) -
                          (commands - 1) * Scale(kCommandGap);
            --commands;
            const int bottom = height - Scale(kCommandBottom);
            hr = Add(part, L"BUTTON",
                     (part.kind == PartKind::Enter ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP,
                     {x, bottom - Scale(kCommandHeight), x + Scale(kCommandWidth), bottom});
            break;
        }
        }
        if (FAILED(hr)) return hr;
    }
    closeLine();
    closeGroup();
    return S_OK;
}

NativePage::Control* NativePage::Find(const wchar_t* id) {
    const int controlId = ControlId(id);
    for (Control& c : controls_)
        if (GetDlgCtrlID(c.window) == controlId) return &c;
    return nullptr;
}

NativePage::Control* NativePage::FindWindowOf(HWND window) {
    for (Control& c : controls_)
        if (c.window == window) return &c;
    return nullptr;
}

void NativePage::Click(Control& control) {
    if (control.clickConnected && events_) events_->OnElementClick(control.part->id);
}

} // namespace vx
