// "BrowserDouble.Script": what tests and demo scripts drive the double with.
// Window ids are 1, 2, ... in order of opening, and are the cookies of the
// collection's events. OpenPopup(opener, url[, events[, flags]]) fires the
// new-window events that `events` names (2, 3, 23 or 32; see
// BrowserWindow::OpenPopup) and answers the popup's id.
#pragma once

#include "NamedDispatch.h"

namespace vx::browserdouble {

class ScriptControl : public NamedDispatch<ScriptControl, IDispatch> {
  public:
    static const Member<ScriptControl> kMembers[];
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
};

} // namespace vx::browserdouble
