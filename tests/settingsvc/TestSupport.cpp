#include "TestSupport.h"

#include <vector>

namespace vxtest {

namespace {

vx::ScopedHandle StartProcess(const std::wstring& commandLine, HANDLE output, DWORD* threadId) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (output) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = output;
    }
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                        nullptr, &si, &pi))
        return vx::ScopedHandle();
    CloseHandle(pi.hThread);
    if (threadId) *threadId = pi.dwThreadId;
    return vx::ScopedHandle(pi.hProcess);
}

void EndProcess(vx::ScopedHandle& process) {
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), 10000);
    process.Reset();
}

} // namespace

DWORD RunKrellinSvc(const wchar_t* switchText) {
    return RunAndWait(Quoted(BesideTest(L"KrellinSvc.exe")) + L" " + switchText);
}

bool ServerProcess::Start() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    vx::ScopedHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    process_ = StartProcess(Quoted(BesideTest(L"KrellinSvc.exe")), writeEnd, &threadId_);
    writer.Reset();
    std::string output;
    for (int i = 0; process_ && i < 750; ++i) {
        DWORD available = 0;
        if (!PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            ReadFile(reader.Get(), &chunk[0], available, &read, nullptr);
            output.append(chunk, 0, read);
            if (output.find("Service started") != std::string::npos) return true;
        }
        Sleep(20);
    }
    return false;
}

void ServerProcess::Stop() {
    if (!process_) return;
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    if (WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) EndProcess(process_);
    process_.Reset();
}

bool ServerProcess::Running() const {
    return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
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
        if (handle) EndProcess(handle);
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
