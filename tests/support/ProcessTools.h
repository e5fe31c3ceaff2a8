#pragma once

#include "common/Scoped.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace vx::test {

constexpr DWORD kNoExitCode = 0xFFFFFFFFu;

std::wstring BesideTest(const wchar_t* file);
std::wstring Quoted(const std::wstring& path);

// Wine answers ERROR_INTERNAL_ERROR when the new process ended in its
// start-up before any of the program ran: tried again.
ScopedHandle StartProcess(const std::wstring& commandLine, HANDLE output = nullptr);
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 30000);
DWORD WaitForExit(HANDLE process, DWORD timeoutMs);
bool IsRunning(HANDLE process);

std::vector<DWORD> FindProcesses(const wchar_t* exeName);
void EndProcess(DWORD processId);
// A WM_QUIT from outside: the server revokes its class objects. False when it
// had to be killed.
bool EndServerProcess(DWORD processId, DWORD timeoutMs = 10000);

// Wine's RpcSs hands a killed server's class registration to every later
// activation; a restart forgets every registration, also of running servers.
void RestartRpcss();
bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs = 15000);

// Sets ProgramFiles (null: unsets it) for a scope; the products take an empty
// one as unset, so an unset one comes back empty.
struct ProgramFiles {
    explicit ProgramFiles(const char* value) { SetEnvironmentVariableA("ProgramFiles", value); }
    ~ProgramFiles() { SetEnvironmentVariableA("ProgramFiles", original.c_str()); }
    static inline const std::string original = getenv("ProgramFiles") ? getenv("ProgramFiles") : "";
};

void PumpFor(DWORD ms);
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs = 20);

class CapturedProcess {
  public:
    static constexpr size_t kNotFound = static_cast<size_t>(-1);

    CapturedProcess() = default;
    ~CapturedProcess() { End(); }
    CapturedProcess(const CapturedProcess&) = delete;
    CapturedProcess& operator=(const CapturedProcess&) = delete;

    bool Start(const std::wstring& commandLine);
    void End();

    HANDLE Process() const { return process_.Get(); }
    DWORD Id() const { return GetProcessId(process_.Get()); }
    std::vector<std::string> Lines() const;
    size_t WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const;

  private:
    ScopedHandle process_;
    std::wstring file_;
};

} // namespace vx::test
