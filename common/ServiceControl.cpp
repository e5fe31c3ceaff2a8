#include "ServiceControl.h"

#include "Scoped.h"

namespace vx {

HRESULT EnableServiceAutoStart(const char* serviceName) {
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return S_FALSE;
    ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service) return S_FALSE;
    if (!ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                              SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr))
        return S_FALSE;
    if (!StartServiceA(service.Get(), 0, nullptr)) return S_FALSE;
    return S_OK;
}

} // namespace vx
