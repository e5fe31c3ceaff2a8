#include "KrellinIF.h"

#include "AgentWindow.h"

#include "../common/EmptyConnectionPoints.h"
#include "../common/LocalPath.h"
#include "../engine/XShell.h"

namespace vx {

namespace {

XShell* Engine() { return theAgentWindow ? theAgentWindow->Engine() : nullptr; }

// Stores bit 0 of value in an on/off setting and saves all settings.
void PutSetting(LONG XShell::*setting, LONG value) {
    XShell* engine = Engine();
    if (!engine) return;
    engine->*setting = value & 1;
    engine->SyncSettings(true);
}

HRESULT GetSetting(LONG XShell::*setting, LONG* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = engine ? engine->*setting : 1;
    return S_OK;
}

} // namespace

KrellinIF::KrellinIF(IUnknown* outer) : ComObject(outer) {}

const QITAB* KrellinIF::QiTable() {
    static const QITAB table[] = {
        QITABENT(KrellinIF, IKrellinIF),
        QITABENTMULTI(KrellinIF, IDispatch, IKrellinIF),
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

HRESULT KrellinIF::get_MuteAudio(LONG* value) { return GetSetting(&XShell::MuteAudio, value); }
HRESULT KrellinIF::put_MuteAudio(LONG value) {
    PutSetting(&XShell::MuteAudio, value);
    return S_OK;
}

HRESULT KrellinIF::get_AudioFileName(BSTR* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = SysAllocString(engine ? engine->AudioFileName.c_str() : L"");
    return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT KrellinIF::put_AudioFileName(BSTR value) {
    // The agent of every user plays this file: only a file on this computer,
    // or no name (no sound), and nothing hidden behind a NUL.
    const UINT length = SysStringLen(value);
    if (length > 0 && (!IsLocalFilePath(value) || wcslen(value) != length)) return E_INVALIDARG;
    XShell* engine = Engine();
    if (!engine) return S_OK;
    engine->AudioFileName.assign(value ? value : L"", length);
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
    return GetSetting(&XShell::AllowSameSite, value);
}
HRESULT KrellinIF::put_AllowSameSite(LONG value) {
    PutSetting(&XShell::AllowSameSite, value);
    return S_OK;
}

HRESULT KrellinIF::get_KillFixedSize(LONG* value) {
    return GetSetting(&XShell::KillFixedSize, value);
}
HRESULT KrellinIF::put_KillFixedSize(LONG value) {
    PutSetting(&XShell::KillFixedSize, value);
    return S_OK;
}

HRESULT KrellinIF::get_BypassKeys(SHORT* value) {
    if (!value) return E_POINTER;
    XShell* engine = Engine();
    *value = engine ? static_cast<SHORT>(engine->BypassKeys) : 1;
    return S_OK;
}

HRESULT KrellinIF::put_BypassKeys(SHORT value) {
    XShell* engine = Engine();
    if (!engine) return S_OK;
    engine->BypassKeys = static_cast<unsigned short>(value);
    engine->SyncSettings(true);
    return S_OK;
}

HRESULT KrellinIF::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return EnumNoConnectionPoints(ppEnum);
}

HRESULT KrellinIF::FindConnectionPoint(REFIID, IConnectionPoint** ppCP) {
    return FindNoConnectionPoint(ppCP);
}

} // namespace vx
