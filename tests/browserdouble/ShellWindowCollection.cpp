#include "ShellWindowCollection.h"

#include "DoubleIds.h"

#include <algorithm>

namespace vx::browserdouble {

namespace {
ComPtr<ShellWindowCollection> gShell;
}

ShellWindowCollection::ShellWindowCollection() : events_(this, DIID_DShellWindowsEvents) {}

const QITAB* ShellWindowCollection::QiTable() {
    static const QITAB table[] = {
        QITABENT(ShellWindowCollection, IShellWindows),
        QITABENTMULTI(ShellWindowCollection, IDispatch, IShellWindows),
        QITABENT(ShellWindowCollection, IConnectionPointContainer),
        {},
    };
    return table;
}

ShellWindowCollection* ShellWindowCollection::Get() {
    if (!gShell) gShell = ComPtr<ShellWindowCollection>(new (std::nothrow) ShellWindowCollection());
    return gShell.Get();
}

HRESULT ShellWindowCollection::CreateInstance(IUnknown*, REFIID riid, void** ppv) {
    ShellWindowCollection* shell = Get();
    if (!shell) return E_OUTOFMEMORY;
    return shell->QueryInterface(riid, ppv);
}

void ShellWindowCollection::Close() {
    if (!gShell) return;
    // Windows hold no reference back; dropping the sinks lets the clients'
    // objects go before the apartment does.
    for (const auto& window : gShell->all_)
        window->DropSinks();
    gShell->events_.DropSinks();
    gShell->open_.clear();
    gShell->all_.clear();
    gShell.Reset();
}

HRESULT ShellWindowCollection::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO*, UINT*) {
    if (!params) return E_INVALIDARG;
    auto failure = failures.find(id == kCount ? L"Count" : L"Item");
    if (failure != failures.end()) return failure->second;
    switch (id) {
    case kCount:
        ++countReads;
        return ReturnLong(result, OpenCount());
    case kItem: {
        LONG index = 0;
        HRESULT hr = Arg(params, 0, &index);
        if (FAILED(hr)) return hr;
        if (index == failingItem) return E_FAIL;
        ComPtr<IDispatch> window;
        if (index >= 0 && index < OpenCount())
            window = ComPtr<IDispatch>(static_cast<IDispatch*>(open_[index]));
        if (result) {
            // An index past the end reads as an empty slot.
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = window.Detach();
        }
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT ShellWindowCollection::get_Count(LONG* count) {
    if (!count) return E_POINTER;
    *count = OpenCount();
    return S_OK;
}

HRESULT ShellWindowCollection::Item(VARIANT index, IDispatch** window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    Variant at;
    HRESULT hr = VariantChangeType(at.Get(), &index, 0, VT_I4);
    if (FAILED(hr)) return hr;
    LONG i = V_I4(at.Get());
    if (i < 0 || i >= OpenCount()) return S_FALSE;
    *window = open_[i];
    (*window)->AddRef();
    return S_OK;
}

HRESULT ShellWindowCollection::_NewEnum(IUnknown** e) {
    if (e) *e = nullptr;
    return E_NOTIMPL;
}

HRESULT ShellWindowCollection::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT ShellWindowCollection::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    return events_.Find(riid, point);
}

ComPtr<BrowserWindow> ShellWindowCollection::MakeWindow(const std::wstring& url, bool folder,
                                                        bool visible) {
    LONG id = static_cast<LONG>(all_.size()) + 1;
    ComPtr<BrowserWindow> window(new (std::nothrow) BrowserWindow(this, id, folder, url, visible));
    if (window) all_.push_back(window);
    return window;
}

ComPtr<BrowserWindow> ShellWindowCollection::OpenWindow(const std::wstring& url, bool folder,
                                                        bool visible, bool announce) {
    ComPtr<BrowserWindow> window = MakeWindow(url, folder, visible);
    if (!window) return window;
    open_.push_back(window.Get());
    if (announce) FireWindowEvent(kDispWindowRegistered, window->Id());
    return window;
}

void ShellWindowCollection::Remove(BrowserWindow* window) {
    open_.erase(std::remove(open_.begin(), open_.end(), window), open_.end());
}

void ShellWindowCollection::Revoke(BrowserWindow* window) {
    auto it = std::find(open_.begin(), open_.end(), window);
    if (it == open_.end()) return;
    // As the browser does: the window says it quits, then the shell drops it.
    // A sink may close it again meanwhile.
    window->FireQuit();
    it = std::find(open_.begin(), open_.end(), window);
    if (it == open_.end()) return;
    open_.erase(it);
    window->Close();
    FireWindowEvent(kDispWindowRevoked, window->Id());
}

BrowserWindow* ShellWindowCollection::Find(LONG id) const {
    return id >= 1 && id <= static_cast<LONG>(all_.size()) ? all_[id - 1].Get() : nullptr;
}

BrowserWindow* ShellWindowCollection::FindByObject(IUnknown* object) const {
    if (!object) return nullptr;
    // A reference to one of our windows that travelled out and back is
    // unmarshalled to the window itself, so identities compare.
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid()))) return nullptr;
    for (const auto& window : all_)
        if (window->InnerUnknown() == identity.Get()) return window.Get();
    return nullptr;
}

void ShellWindowCollection::FireWindowEvent(DISPID id, LONG cookie) {
    VARIANTARG arg;
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = cookie;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    events_.Fire(id, &params);
}

} // namespace vx::browserdouble
