#include "ShellWindowsEvents.h"

#include "XShell.h"

#include "common/StatusLog.h"

namespace vx {

ShellWindowsEvents::ShellWindowsEvents(IUnknown* outer) : ComObject(outer) {}

const QITAB* ShellWindowsEvents::QiTable() {
    static const QITAB table[] = {
        QITABENT(ShellWindowsEvents, DShellWindowsEvents),
        QITABENTMULTI(ShellWindowsEvents, IDispatch, DShellWindowsEvents),
        {},
    };
    return table;
}

HRESULT ShellWindowsEvents::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateComObject<ShellWindowsEvents>(outer, riid, ppv);
}

// Which window came or went is not told by the cookie; see XShell.
HRESULT ShellWindowsEvents::WindowRegistered(LONG) {
    AddStatusLine("New Window Registered Event...");
    if (owner_) owner_->WindowRegistered();
    return S_OK;
}

HRESULT ShellWindowsEvents::WindowRevoked(LONG) {
    AddStatusLine("New Window Revoked Event...");
    if (owner_) owner_->WindowRevoked();
    return S_OK;
}

} // namespace vx
