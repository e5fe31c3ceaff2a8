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

// A program whose standard output (and error) goes to a file of its own, so
// that a test can wait for a line and read everything written.
class CapturedProcess {
  public:
    static constexpr size_t kNotFound = static_cast<size_t>(-1);

    CapturedProcess() = default;
    ~CapturedProcess() { End(); }
    CapturedProcess(const CapturedProcess&) = delete;
    CapturedProcess& operator=(const CapturedProcess&) = delete;

    bool Start(const std::wstring& commandLine);
    // Terminates the program if it still runs; its output is gone.
    void End();

    HANDLE Process() const { return process_.Get(); }
    DWORD Id() const { return id_; }
    size_t LineCount() const { return Lines().size(); }
    std::vector<std::string> Lines(size_t from = 0) const;
    // The first line at or after `from` that contains text, waiting up to
    // timeoutMs for it; kNotFound when none came before the program ended.
    size_t WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const;

  private:
    ScopedHandle process_;
    DWORD id_ = 0;
    std::wstring file_;
};

} // namespace vx::test
