// The shell window collection of the double's process: every browser and
// folder window it ever made, the open ones in the order they opened, and
// DShellWindowsEvents for windows coming and going. The agent calls Count
// and Item by name; IShellWindows is there for the interface's proxy.
// Tests and demo scripts drive the double through the same object, as
// "BrowserDouble.Script": window ids are 1, 2, ... in order of opening and
// are the cookies of the collection's events; OpenPopup(opener, url[,
// events[, flags]]) is BrowserWindow::OpenPopup.
#pragma once

#include "BrowserWindow.h"

#include <vector>

namespace vx::browserdouble {

class ShellWindowCollection
    : public NamedDispatch<ShellWindowCollection, IShellWindows, IConnectionPointContainer> {
  public:
    static const Member<ShellWindowCollection> kMembers[];
    static const QITAB* QiTable();
    // Every creation answers the process's one collection.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
    // The process's collection, made on first use; null when out of memory.
    static ShellWindowCollection* Get();
    // Drops every window and every sink, at the end of the process.
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
    // Opens a window and, unless told not to, fires WindowRegistered.
    ComPtr<BrowserWindow> OpenWindow(const std::wstring& url, bool folder, bool visible,
                                     bool announce = true);
    // Fires the window's OnQuit, takes it out and fires WindowRevoked with its id.
    void Revoke(BrowserWindow* window);
    // Takes a window out without a word, as the shell may; whether it was in.
    bool Remove(BrowserWindow* window);
    void FireWindowEvent(DISPID id, LONG cookie) { events.Fire(id, {MakeVariant(VT_I4, cookie)}); }
    // Any window ever made, open or not; null for an unknown id.
    BrowserWindow* Find(LONG id) const;
    // The window behind a reference handed back here; null for none of ours.
    BrowserWindow* FindByObject(IUnknown* object) const;
    LONG LastId() const { return static_cast<LONG>(all_.size()); }

    EventPoint events{this, DIID_DShellWindowsEvents};
    // For the in-process tests: an index whose Item fails; Count reads.
    LONG failingItem = -1;
    int countReads = 0;

  private:
    std::vector<ComPtr<BrowserWindow>> all_;
    std::vector<BrowserWindow*> open_;
};

} // namespace vx::browserdouble
