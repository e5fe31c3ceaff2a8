#include "MessengerSwitch.h"

#include "common/Scoped.h"
#include "common/ServiceControl.h"

namespace vx {

namespace {
constexpr const char* kMessenger = "Messenger";
}

HRESULT DisableMessenger() {
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return S_FALSE;
    ScopedServiceHandle service(OpenServiceA(manager.Get(), kMessenger, SERVICE_ALL_ACCESS));
    if (!service) return S_FALSE;
    // A refused request still tells the state the manager knows; a service
    // already stopped or on its way there is as good as stopped.
    SERVICE_STATUS status{};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) &&
        status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING)
        return S_FALSE;
    if (!ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                              SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr))
        return S_FALSE;
    return S_OK;
}

HRESULT EnableMessenger() {
    return EnableServiceAutoStart(kMessenger);
}

} // namespace vx
