// The agent's automation object: the control panel's way to read and change
// the agent's settings, read the block count and the popups blocked lately,
// open one of them anyway, show the diagnostics window, ask whether the
// agent is ready, and make it quit. It holds no state: every
// call works on the process's agent window and its engine.
#pragma once

#include "common/ComObject.h"

#include "Krellin.h"

namespace vx {

class KrellinIF : public ComObject<KrellinIF, IKrellinIF2, IConnectionPointContainer>,
                  public TypeInfoDispatch<KrellinIF, IKrellinIF2, &IID_IKrellinIF2> {
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
    STDMETHODIMP get_AllowUserInitiated(LONG* value) override;
    STDMETHODIMP put_AllowUserInitiated(LONG value) override;
    STDMETHODIMP get_NotifyOnBlock(LONG* value) override;
    STDMETHODIMP put_NotifyOnBlock(LONG value) override;
    STDMETHODIMP get_AllowedSites(BSTR* value) override;
    STDMETHODIMP put_AllowedSites(BSTR value) override;
    STDMETHODIMP get_RecentBlockedCount(LONG* value) override;
    STDMETHODIMP get_RecentBlockedUrl(LONG index, BSTR* value) override;
    STDMETHODIMP ShowBlocked(LONG index) override;

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
};

} // namespace vx
