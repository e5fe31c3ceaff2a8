// The agent's automation object: the control panel's way to read and change
// the agent's settings, read the block count, show the diagnostics window,
// ask whether the agent is ready, and make it quit. It holds no state: every
// call works on the process's agent window and its engine.
#pragma once

#include "../common/ComObject.h"

#include "Krellin.h"

namespace vx {

class KrellinIF : public ComObject<KrellinIF, IKrellinIF, IConnectionPointContainer>,
                  public TypeInfoDispatch<KrellinIF, IKrellinIF, &IID_IKrellinIF> {
  public:
    static constexpr bool kAggregatable = true;
    static const QITAB* QiTable();
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    explicit KrellinIF(IUnknown* outer = nullptr);

    VX_TYPEINFO_DISPATCH_METHODS()

    STDMETHODIMP Quit() override;
    STDMETHODIMP get_Visible(LONG* value) override;
    STDMETHODIMP put_Visible(LONG value) override;
    STDMETHODIMP get_BlockedCount(LONG* value) override;
    STDMETHODIMP get_MuteAudio(LONG* value) override;
    STDMETHODIMP put_MuteAudio(LONG value) override;
    STDMETHODIMP get_AudioFileName(BSTR* value) override;
    STDMETHODIMP put_AudioFileName(BSTR value) override;
    STDMETHODIMP get_ShowTray(LONG* value) override;
    STDMETHODIMP put_ShowTray(LONG value) override;
    STDMETHODIMP get_IsServeReady(LONG* value) override;
    STDMETHODIMP get_AllowSameSite(LONG* value) override;
    STDMETHODIMP put_AllowSameSite(LONG value) override;
    STDMETHODIMP get_KillFixedSize(LONG* value) override;
    STDMETHODIMP put_KillFixedSize(LONG value) override;
    STDMETHODIMP get_BypassKeys(SHORT* value) override;
    STDMETHODIMP put_BypassKeys(SHORT value) override;

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
};

} // namespace vx
