#include "TestSupport.h"

#include <vector>

namespace vxtest {

DWORD RunKrellinSvc(const wchar_t* switchText) {
    return RunAndWait(Quoted(BesideTest(L"KrellinSvc.exe")) + L" " + switchText);
}

DWORD ServiceState(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    for (DWORD waited = 0; waited <= timeoutMs; waited += 100) {
        if (ServiceState(service) == state) return true;
        Sleep(100);
    }
    return false;
}

void StopOrEndService(SC_HANDLE service) {
    if (ServiceState(service) == SERVICE_STOPPED) return;
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
        ControlService(service, kEndServiceControl, &status);
    if (WaitForServiceState(service, SERVICE_STOPPED, 5000)) return;
    SERVICE_STATUS_PROCESS process{};
    DWORD needed = 0;
    if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                             sizeof process, &needed)) {
        vx::ScopedHandle handle(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId));
        if (handle) {
            TerminateProcess(handle.Get(), 1);
            WaitForSingleObject(handle.Get(), 10000);
        }
    }
    WaitForServiceState(service, SERVICE_STOPPED, 5000);
}

bool KeyExists(HKEY root, const char* path) {
    vx::RegKey key;
    return RegOpenKeyExA(root, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

bool ReadValue(HKEY root, const char* path, const char* name, std::string* data, DWORD* type) {
    data->assign(70000, '\0');
    DWORD size = static_cast<DWORD>(data->size());
    vx::RegKey key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, key.Put()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), name, nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]),
                         &size) != ERROR_SUCCESS) {
        data->clear();
        return false;
    }
    data->resize(size);
    return true;
}

LONG WriteValue(HKEY root, const char* path, const char* name, DWORD type,
                const std::string& data) {
    vx::RegKey key;
    LONG err = RegOpenKeyExA(root, path, 0, KEY_SET_VALUE, key.Put());
    if (err != ERROR_SUCCESS) return err;
    return RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

LONG CreateKeyPath(HKEY root, const char* path) {
    vx::RegKey key;
    return RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr);
}

} // namespace vxtest
