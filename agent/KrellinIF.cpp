#include "KrellinIF.h"

#include "AgentWindow.h"

#include "common/EmptyConnectionPoints.h"
#include "common/LocalPath.h"
#include "engine/XShell.h"

namespace vx {

namespace {

XShell* Engine() { return theAgentWindow ? theAgentWindow->Engine() : nullptr; }

// Stores bit 0 of value in an on/off setting and saves all settings.
HRESULT PutSetting(LONG Settings::*setting, LONG value) {
    XShell* engine = Engine();
    if (!engine) return S_OK;
    engine->settings.*setting = value & 1;
    engine->SyncSettings(true);
    return S_OK;
}

HRESULT GetSetting(LONG Settings::*setting, LONG* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = engine ? engine->settings.*setting : 1;
    return S_OK;
}

} // namespace

KrellinIF::KrellinIF(IUnknown* outer) : ComObject(outer) {}

const QITAB* KrellinIF::QiTable() {
    static const QITAB table[] = {
        QITABENT(KrellinIF, IKrellinIF2),
        QITABENTMULTI(KrellinIF, IKrellinIF, IKrellinIF2),
        QITABENTMULTI(KrellinIF, IDispatch, IKrellinIF2),
        QITABENT(KrellinIF, IConnectionPointContainer),
        {},
    };
    return table;
}

HRESULT KrellinIF::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateComObject<KrellinIF>(outer, riid, ppv);
}

// Answered before the agent winds down: the window's end closes the loop.
HRESULT KrellinIF::Quit() {
    if (theAgentWindow) theAgentWindow->DestroyStatusWindow();
    return S_OK;
}

HRESULT KrellinIF::get_Visible(LONG* value) {
    if (!value) return E_POINTER;
    *value = theAgentWindow && theAgentWindow->IsStatusWindowVisible() ? 1 : 0;
    return S_OK;
}

HRESULT KrellinIF::put_Visible(LONG value) {
    if (theAgentWindow) theAgentWindow->ShowStatusWindow((value & 1) != 0);
    return S_OK;
}

HRESULT KrellinIF::get_BlockedCount(LONG* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = engine ? engine->AddBlockCount(0) : 0;
    return S_OK;
}

HRESULT KrellinIF::get_MuteAudio(LONG* value) {
    return GetSetting(&Settings::MuteAudio, value);
}
HRESULT KrellinIF::put_MuteAudio(LONG value) {
    return PutSetting(&Settings::MuteAudio, value);
}

HRESULT KrellinIF::get_AudioFileName(BSTR* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = SysAllocString(engine ? engine->settings.AudioFileName.c_str() : L"");
    return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT KrellinIF::put_AudioFileName(BSTR value) {
    // The agent of every user plays this file: only a file on this computer,
    // or no name (no sound), and nothing hidden behind a NUL.
    const UINT length = SysStringLen(value);
    if (length > 0 && (!IsLocalFilePath(value) || wcslen(value) != length)) return E_INVALIDARG;
    XShell* engine = Engine();
    if (!engine) return S_OK;
    engine->settings.AudioFileName.assign(value ? value : L"", length);
    engine->SyncSettings(true);
    return S_OK;
}

HRESULT KrellinIF::get_ShowTray(LONG* value) {
    if (!value) return E_POINTER;
    *value = theAgentWindow && theAgentWindow->TrayShown() ? 1 : 0;
    return S_OK;
}

HRESULT KrellinIF::put_ShowTray(LONG value) {
    if (theAgentWindow)
        theAgentWindow->UpdateTrayIcon(
            (value & 1) ? AgentWindow::TrayAction::Add : AgentWindow::TrayAction::Delete, true);
    return S_OK;
}

HRESULT KrellinIF::get_IsServeReady(LONG* value) {
    if (!value) return E_POINTER;
    *value = theAgentWindow ? theAgentWindow->ServeReady() : 0;
    return S_OK;
}

HRESULT KrellinIF::get_AllowSameSite(LONG* value) {
    return GetSetting(&Settings::AllowSameSite, value);
}
HRESULT KrellinIF::put_AllowSameSite(LONG value) {
    return PutSetting(&Settings::AllowSameSite, value);
}

HRESULT KrellinIF::get_KillFixedSize(LONG* value) {
    return GetSetting(&Settings::KillFixedSize, value);
}
HRESULT KrellinIF::put_KillFixedSize(LONG value) {
    return PutSetting(&Settings::KillFixedSize, value);
}

HRESULT KrellinIF::get_BypassKeys(SHORT* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = engine ? static_cast<SHORT>(engine->settings.BypassKeys) : 1;
    return S_OK;
}

HRESULT KrellinIF::put_BypassKeys(SHORT value) {
    XShell* engine = Engine();
    if (!engine) return S_OK;
    engine->settings.BypassKeys = static_cast<unsigned short>(value);
    engine->SyncSettings(true);
    return S_OK;
}

HRESULT KrellinIF::get_AllowUserInitiated(LONG* value) {
    return GetSetting(&Settings::AllowUserInitiated, value);
}
HRESULT KrellinIF::put_AllowUserInitiated(LONG value) {
    return PutSetting(&Settings::AllowUserInitiated, value);
}

HRESULT KrellinIF::get_NotifyOnBlock(LONG* value) {
    return GetSetting(&Settings::NotifyOnBlock, value);
}
HRESULT KrellinIF::put_NotifyOnBlock(LONG value) {
    return PutSetting(&Settings::NotifyOnBlock, value);
}

HRESULT KrellinIF::get_AllowedSites(BSTR* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    std::wstring text = engine ? JoinSiteList(engine->settings.AllowedSites) : std::wstring();
    *value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT KrellinIF::put_AllowedSites(BSTR value) {
    std::vector<std::wstring> sites;
    HRESULT hr = ParseSiteList(std::wstring(value ? value : L"", SysStringLen(value)), &sites);
    if (FAILED(hr)) return hr;
    XShell* engine = Engine();
    if (!engine) return S_OK;
    engine->settings.AllowedSites = std::move(sites);
    engine->SyncSettings(true);
    return S_OK;
}

HRESULT KrellinIF::get_RecentBlockedCount(LONG* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = engine ? static_cast<LONG>(engine->Recent().Entries().size()) : 0;
    return S_OK;
}

HRESULT KrellinIF::get_RecentBlockedUrl(LONG index, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    XShell* engine = Engine();
    const BlockedPopup* popup =
        engine && index >= 0 ? engine->Recent().At(static_cast<size_t>(index)) : nullptr;
    if (!popup) return E_INVALIDARG;
    *value = SysAllocString(popup->url.c_str());
    return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT KrellinIF::ShowBlocked(LONG index) {
    XShell* engine = Engine();
    if (!engine || index < 0) return E_INVALIDARG;
    return engine->ShowBlocked(static_cast<size_t>(index));
}

HRESULT KrellinIF::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return EnumNoConnectionPoints(ppEnum);
}

HRESULT KrellinIF::FindConnectionPoint(REFIID, IConnectionPoint** ppCP) {
    return FindNoConnectionPoint(ppCP);
}

} // namespace vx
