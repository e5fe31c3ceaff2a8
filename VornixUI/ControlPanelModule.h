// The control panel's COM identity: an AppID and an empty type library. It
// serves no class of its own; it is only ever the agent's client.
#pragma once

#include <windows.h>

namespace vx {

class ControlPanelModule {
  public:
    static constexpr char kAppId[] = "{1F182AC9-519F-4D3F-A5C1-2ED546A9C7A3}";

    // The class-object map is empty: nothing to register or revoke.
    HRESULT RegisterClassObjects() { return S_OK; }
    void RevokeClassObjects() {}

    // HKCR\AppID\{AppID} = "VornixUI" and HKCR\AppID\VornixUI.EXE with
    // AppID = "{AppID}". Removing them leaves HKCR\AppID itself alone.
    HRESULT RegisterAppId();
    void UnregisterAppId();

    // The type library embedded in the program, with the program's folder
    // as its help directory.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();
};

} // namespace vx
