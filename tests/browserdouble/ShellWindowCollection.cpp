#include "ShellWindowCollection.h"

#include <algorithm>

namespace vx::browserdouble {

namespace {
ComPtr<ShellWindowCollection> gShell;
}

const Member<ShellWindowCollection> ShellWindowCollection::kMembers[] = {
    {L"Count",
     [](ShellWindowCollection& s, Call& c) {
         ++s.countReads;
         return c.Return(static_cast<LONG>(s.open_.size()));
     }},
    {L"Item",
     [](ShellWindowCollection& s, Call& c) {
         const LONG i = c.Arg<LONG>(0);
         if (i == s.failingItem) return E_FAIL;
         // An index past the end reads as an empty slot.
         const bool listed = i >= 0 && i < static_cast<LONG>(s.open_.size());
         return c.Return(listed ? static_cast<IDispatch*>(s.open_[i]) : nullptr);
     }},
    {},
};

const QITAB* ShellWindowCollection::QiTable() {
    static const QITAB table[] = {
        QITABENT(ShellWindowCollection, IShellWindows),
        QITABENTMULTI(ShellWindowCollection, IDispatch, IShellWindows),
        QITABENT(ShellWindowCollection, IConnectionPointContainer),
        {},
    };
    return table;
}

HRESULT ShellWindowCollection::CreateInstance(IUnknown*, REFIID riid, void** ppv) {
    ShellWindowCollection* shell = Get();
    return shell ? shell->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

ShellWindowCollection* ShellWindowCollection::Get() {
    if (!gShell) gShell = ComPtr<ShellWindowCollection>(new (std::nothrow) ShellWindowCollection());
    return gShell.Get();
}

void ShellWindowCollection::Close() {
    if (!gShell) return;
    // Windows hold no reference back; dropping the sinks lets the clients'
    // objects go before the apartment does.
    for (const auto& window : gShell->all_)
        window->events.DropSinks();
    gShell->events.DropSinks();
    gShell->open_.clear();
    gShell->all_.clear();
    gShell.Reset();
}

ComPtr<BrowserWindow> ShellWindowCollection::MakeWindow(const std::wstring& url, bool folder,
                                                        bool visible) {
    ComPtr<BrowserWindow> window(new (std::nothrow)
                                     BrowserWindow(LastId() + 1, folder, url, visible));
    if (window) all_.push_back(window);
    return window;
}

ComPtr<BrowserWindow> ShellWindowCollection::OpenWindow(const std::wstring& url, bool folder,
                                                        bool visible, bool announce) {
    ComPtr<BrowserWindow> window = MakeWindow(url, folder, visible);
    if (!window) return window;
    open_.push_back(window.Get());
    if (announce) FireWindowEvent(DISPID_WINDOWREGISTERED, window->id);
    return window;
}

bool ShellWindowCollection::IsListed(BrowserWindow* window) const {
    return std::find(open_.begin(), open_.end(), window) != open_.end();
}

void ShellWindowCollection::Remove(BrowserWindow* window) {
    open_.erase(std::remove(open_.begin(), open_.end(), window), open_.end());
}

void ShellWindowCollection::Revoke(BrowserWindow* window) {
    // As the browser does: the window says it quits, then the shell drops it.
    // A sink may close it again meanwhile.
    if (!IsListed(window)) return;
    window->FireQuit();
    if (!IsListed(window)) return;
    Remove(window);
    window->open = false;
    FireWindowEvent(DISPID_WINDOWREVOKED, window->id);
}

BrowserWindow* ShellWindowCollection::Find(LONG id) const {
    return id >= 1 && id <= LastId() ? all_[id - 1].Get() : nullptr;
}

BrowserWindow* ShellWindowCollection::FindByObject(IUnknown* object) const {
    // A reference to one of our windows that travelled out and back is
    // unmarshalled to the window itself, so identities compare.
    ComPtr<IUnknown> identity;
    if (!object || FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid()))) return nullptr;
    for (const auto& window : all_)
        if (window->InnerUnknown() == identity.Get()) return window.Get();
    return nullptr;
}

} // namespace vx::browserdouble
