#include "ProcessTools.h"

#include <tlhelp32.h>

#include <algorithm>

namespace vx::test {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void Kill(HANDLE process) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
}

} // namespace

std::wstring BesideTest(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    std::wstring dir(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

ScopedHandle StartProcess(const std::wstring& commandLine, HANDLE output) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = output ? STARTF_USESTDHANDLES : 0;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = si.hStdError = output;
    PROCESS_INFORMATION pi = {};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring line = commandLine; // CreateProcessW may write into it
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                           nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
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

bool CapturedProcess::Start(const std::wstring& commandLine) {
    End();
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vxo", 0, name)) return false;
    file_ = name;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    ScopedHandle output(CreateFileW(name, GENERIC_WRITE, kShareAll, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (output) process_ = StartProcess(commandLine, output.Get());
    return static_cast<bool>(process_);
}

void CapturedProcess::End() {
    if (IsRunning(process_.Get())) Kill(process_.Get());
    process_.Reset();
    if (!file_.empty()) DeleteFileW(file_.c_str());
    file_.clear();
}

std::vector<std::string> CapturedProcess::Lines() const {
    // Asked before the read: once it has ended, the file holds all it wrote.
    const bool ended = !IsRunning(process_.Get());
    std::string text;
    ScopedHandle file(
        CreateFileW(file_.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[65536];
    for (DWORD got = 0; file && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got;)
        text.append(buffer, got);
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos && !ended) break;
        end = std::min(end, text.size());
        lines.push_back(text.substr(at, end - at - (end > at && text[end - 1] == '\r')));
    }
    return lines;
}

size_t CapturedProcess::WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const {
    size_t found = kNotFound;
    auto seen = [&] {
        const bool ended = !IsRunning(process_.Get());
        std::vector<std::string> lines = Lines();
        for (size_t i = from; i < lines.size() && found == kNotFound; ++i)
            if (lines[i].find(text) != std::string::npos) found = i;
        return found != kNotFound || ended;
    };
    WaitUntil(seen, timeoutMs, 5);
    return found;
}

} // namespace vx::test
