// The sink on the shell window collection: a window came or went.
#pragma once

#include "common/ComObject.h"

#include "EngineEvents.h"
#include "EventSource.h"

namespace vx {

class XShell;

class ShellWindowsEvents : public ComObject<ShellWindowsEvents, DShellWindowsEvents>,
                           public TypeInfoDispatch<ShellWindowsEvents, DShellWindowsEvents,
                                                   &IID_DShellWindowsEvents, kEngineTypeLib> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable();
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    explicit ShellWindowsEvents(IUnknown* outer = nullptr);

    // The tracker to tell; cleared when the tracker goes, so that a late
    // event does nothing.
    void SetOwner(XShell* owner) { owner_ = owner; }
    XShell* Owner() const { return owner_; }

    VX_TYPEINFO_DISPATCH_METHODS()

    STDMETHODIMP WindowRegistered(LONG cookie) override;
    STDMETHODIMP WindowRevoked(LONG cookie) override;

  private:
    XShell* owner_ = nullptr;
};

} // namespace vx
