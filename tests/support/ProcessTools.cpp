#include "ProcessTools.h"

#include <psapi.h>
#include <winternl.h>
#include <tlhelp32.h>

namespace vx::test {

std::wstring BesideTest(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    std::wstring dir(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

ScopedHandle StartProcess(const std::wstring& commandLine, STARTUPINFOW* si, DWORD* id) {
    STARTUPINFOW plain = {};
    plain.cb = sizeof plain;
    PROCESS_INFORMATION pi = {};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring line = commandLine; // CreateProcessW may write into it
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, si != nullptr, 0, nullptr, nullptr,
                           si ? si : &plain, &pi)) {
            CloseHandle(pi.hThread);
            if (id) *id = pi.dwProcessId;
            return ScopedHandle(pi.hProcess);
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    return ScopedHandle();
}

DWORD WaitForExit(HANDLE process, DWORD timeoutMs) {
    DWORD code = kNoExitCode;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    return code;
}

bool IsRunning(HANDLE process) {
    return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

namespace {

void Kill(HANDLE process) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
}

} // namespace

DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs) {
    ScopedHandle process = StartProcess(commandLine);
    DWORD code = process ? WaitForExit(process.Get(), timeoutMs) : kNoExitCode;
    if (process && code == kNoExitCode) Kill(process.Get());
    return code;
}

std::vector<DWORD> FindProcesses(const wchar_t* exeName) {
    std::vector<DWORD> ids;
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
        if (_wcsicmp(entry.szExeFile, exeName) == 0) ids.push_back(entry.th32ProcessID);
    return ids;
}

void EndProcess(DWORD processId) {
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (process) Kill(process.Get());
}

bool EndServerProcess(DWORD processId, DWORD timeoutMs) {
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return true;
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    // Only the thread that runs the loop has a queue; the others refuse.
    for (BOOL more = snapshot && Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == processId)
            PostThreadMessageW(entry.th32ThreadID, WM_QUIT, 0, 0);
    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0) return true;
    Kill(process.Get());
    return false;
}

bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    SERVICE_STATUS status = {};
    return WaitUntil(
        [&] { return QueryServiceStatus(service, &status) && status.dwCurrentState == state; },
        timeoutMs, 50);
}

void RestartRpcss() {
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ScopedServiceHandle rpcss(
        manager ? OpenServiceW(manager.Get(), L"RpcSs",
                               SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS)
                : nullptr);
    SERVICE_STATUS status = {};
    if (!rpcss || !ControlService(rpcss.Get(), SERVICE_CONTROL_STOP, &status)) return;
    WaitForServiceState(rpcss.Get(), SERVICE_STOPPED, 10000);
    StartServiceW(rpcss.Get(), 0, nullptr);
    WaitForServiceState(rpcss.Get(), SERVICE_RUNNING, 10000);
}

// Wine answers 0 for any process's handle count, so it is read from the
// process list; the page-file usage is the commit (Windows: the private bytes).
bool ReadProcessFigures(HANDLE process, ProcessFigures* figures) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process, &memory, sizeof memory)) return false;
    figures->privateBytes = memory.PagefileUsage;
    figures->workingSet = memory.WorkingSetSize;
    std::vector<BYTE> list(1 << 20);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemProcessInformation, list.data(),
                                              static_cast<ULONG>(list.size()), nullptr)) ==
           static_cast<NTSTATUS>(0xC0000004L)) // STATUS_INFO_LENGTH_MISMATCH
        list.resize(list.size() * 2);
    for (size_t at = 0; status >= 0;) {
        auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(list.data() + at);
        if (HandleToULong(entry->UniqueProcessId) == GetProcessId(process)) {
            figures->handles = entry->HandleCount;
            return figures->handles != 0;
        }
        if (!entry->NextEntryOffset) break;
        at += entry->NextEntryOffset;
    }
    return false;
}

void PumpFor(DWORD ms) {
    for (DWORD start = GetTickCount(), waited = 0; waited < ms; waited = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - waited, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs) {
    for (DWORD start = GetTickCount(); !done(); PumpFor(stepMs))
        if (GetTickCount() - start >= timeoutMs) return false;
    return true;
}

void ClickOn(HWND window) {
    // A click on a window that is not yet the active one may only activate it.
    HWND top = GetAncestor(window, GA_ROOT);
    SetForegroundWindow(top);
    WaitUntil([&] { return GetForegroundWindow() == top; }, 2000);
    RECT r;
    GetWindowRect(window, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

} // namespace vx::test
