// Processes and services of the programs under test.
#pragma once

#include "common/Scoped.h"

#include <functional>
#include <string>
#include <vector>

namespace vx::test {

constexpr DWORD kNoExitCode = 0xFFFFFFFFu;

// A file in the test program's folder, where every program is built.
std::wstring BesideTest(const wchar_t* file);
std::wstring Quoted(const std::wstring& path);

// With output, standard output and error go there. Wine answers
// ERROR_INTERNAL_ERROR when the new process ended in its start-up before any
// of the program ran: tried again.
ScopedHandle StartProcess(const std::wstring& commandLine, HANDLE output = nullptr,
                          DWORD* id = nullptr);
// The exit code, or kNoExitCode when it did not end in time (it is then ended).
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 30000);
// The exit code, or kNoExitCode while it still runs after the wait.
DWORD WaitForExit(HANDLE process, DWORD timeoutMs);
bool IsRunning(HANDLE process);

std::vector<DWORD> FindProcesses(const wchar_t* exeName);
void EndProcess(DWORD processId);
// Ends a COM server as a WM_QUIT from outside would: its loop ends and it
// revokes its class objects. False when it had to be killed.
bool EndServerProcess(DWORD processId, DWORD timeoutMs = 10000);

// Wine's RpcSs hands a killed server's class registration to every later
// activation; a restart forgets every registration, also of running servers.
void RestartRpcss();
bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs = 15000);

// Blocks for a while with the thread's messages pumped, as an apartment must.
void PumpFor(DWORD ms);
// Whether `done` came true within the time, asked every stepMs meanwhile pumping.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs = 20);

} // namespace vx::test
