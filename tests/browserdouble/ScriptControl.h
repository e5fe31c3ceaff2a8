// "BrowserDouble.Script": what tests and demo scripts drive the double with.
// Window ids are 1, 2, ... in order of opening, and are the cookies of the
// collection's events. OpenPopup(opener, url[, events[, flags]]) fires the
// new-window events that `events` names (2, 3, 23 or 32; see
// BrowserWindow::OpenPopup) and answers the popup's id.
#pragma once

#include "NamedDispatch.h"

#include "common/ComObject.h"

namespace vx::browserdouble {

class BrowserWindow;

class ScriptControl : public ComObject<ScriptControl, IDispatch> {
  public:
    static constexpr bool kAggregatable = false;
    static const QITAB* QiTable();
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    explicit ScriptControl(IUnknown* outer = nullptr) : ComObject(outer) {}

    VX_NAMED_DISPATCH_METHODS(kNames)
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    enum : DISPID {
        kOpenWindow = 1,
        kCloseWindow,
        kNavigate,
        kOpenPopup,
        kAskFixedSize,
        kIsOpen,
        kIsVisible,
        kWasQuit,
        kWasCancelled,
        kLocationUrl,
        kNewWindowTime,
        kQuitTime,
        kShownTime,
        kNavigateTime,
        kLastWindow,
        kProcessId,
        kShutdown,
    };
    static constexpr DispatchName kNames[] = {
        {L"OpenWindow", kOpenWindow},       {L"CloseWindow", kCloseWindow},
        {L"Navigate", kNavigate},           {L"OpenPopup", kOpenPopup},
        {L"AskFixedSize", kAskFixedSize},   {L"IsOpen", kIsOpen},
        {L"IsVisible", kIsVisible},         {L"WasQuit", kWasQuit},
        {L"WasCancelled", kWasCancelled},   {L"LocationURL", kLocationUrl},
        {L"NewWindowTime", kNewWindowTime}, {L"QuitTime", kQuitTime},
        {L"ShownTime", kShownTime},         {L"NavigateTime", kNavigateTime},
        {L"LastWindow", kLastWindow},       {L"ProcessId", kProcessId},
        {L"Shutdown", kShutdown},
    };

    HRESULT OpenPopup(DISPPARAMS* params, VARIANT* result);
    // Members that take a window id first.
    HRESULT WindowMember(DISPID id, DISPPARAMS* params, VARIANT* result);
};

} // namespace vx::browserdouble
