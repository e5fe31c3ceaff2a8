// The agent calls Count and Item by name; IShellWindows is there for the
// interface's proxy. Scripts name windows by id, 1, 2, ... in order of making,
// also the events' cookies.
#pragma once

#include "NamedDispatch.h"

#include <exdisp.h>

#include <string>
#include <vector>

namespace vx::browserdouble {

// State()'s words for a window shown, blocked at its first navigation, or refused.
inline constexpr wchar_t kShown[] = L"visible", kBlocked[] = L"hidden cancelled quit closed",
                         kRefused[] = L"hidden cancelled closed";

class BrowserWindow : public NamedDispatch<BrowserWindow, IDispatch, IConnectionPointContainer> {
  public:
    static const Member<BrowserWindow> kMembers[];
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    BrowserWindow(LONG id, bool folder, std::wstring url, bool visible);

    // `order`: NewWindow2 (2) and NewWindow3 (3, with `flags`) fired as 2, 3, 23
    // or 32. Null when a sink supplied a window not of ours.
    ComPtr<BrowserWindow> OpenPopup(const std::wstring& url, int order = 2, LONG flags = 0,
                                    bool navigate = true);
    HRESULT Navigate(const std::wstring& target);
    void FireNavigateComplete2(const std::wstring& target);
    void FireWindowSetResizable(bool resizable) {
        events.Fire(DISPID_WINDOWSETRESIZABLE,
                    {MakeVariant<VARIANT_BOOL>(VT_BOOL, resizable ? VARIANT_TRUE : VARIANT_FALSE)});
    }
    void FireQuit() { events.Fire(DISPID_ONQUIT); }
    std::wstring State() const;

    const LONG id;
    EventPoint events{this, DIID_DWebBrowserEvents2};
    std::wstring fullName, url;
    bool visible, open = true, cancelled = false;
    double newWindowAt = 0, quitAt = 0, shownAt = 0, navigatedAt = 0;
    int quits = 0;
};

class ShellWindowCollection
    : public NamedDispatch<ShellWindowCollection, IShellWindows, IConnectionPointContainer> {
  public:
    static const Member<ShellWindowCollection> kMembers[];
    static const QITAB* QiTable();
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
    static ShellWindowCollection* Get();
    static void Close();

    STDMETHODIMP get_Count(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Item(VARIANT, IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP _NewEnum(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP Register(IDispatch*, LONG, int, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterPending(LONG, VARIANT*, VARIANT*, int, LONG*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Revoke(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP OnNavigate(LONG, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP OnActivated(LONG, VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP FindWindowSW(VARIANT*, VARIANT*, int, LONG*, int, IDispatch**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP OnCreated(LONG, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessAttachDetach(VARIANT_BOOL) override { return E_NOTIMPL; }

    // A window that is not (yet) in the collection.
    ComPtr<BrowserWindow> MakeWindow(const std::wstring& url, bool folder, bool visible);
    ComPtr<BrowserWindow> OpenWindow(const std::wstring& url, bool folder, bool visible,
                                     bool announce = true);
    void Revoke(BrowserWindow* window);
    // Out without a word, as the shell may; whether it was in.
    bool Remove(BrowserWindow* window);
    void FireWindowEvent(DISPID id, LONG cookie) { events.Fire(id, {MakeVariant(VT_I4, cookie)}); }
    BrowserWindow* Find(LONG id) const {
        return id >= 1 && id <= LastId() ? all_[id - 1].Get() : nullptr;
    }
    BrowserWindow* FindByObject(IUnknown* object) const;
    LONG LastId() const { return static_cast<LONG>(all_.size()); }

    EventPoint events{this, DIID_DShellWindowsEvents};
    LONG failingItem = -1;
    int countReads = 0;

  private:
    std::vector<ComPtr<BrowserWindow>> all_;
    std::vector<BrowserWindow*> open_;
};

} // namespace vx::browserdouble
