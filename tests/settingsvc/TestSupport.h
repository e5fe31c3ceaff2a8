// Processes, services and registry probes for the settings service tests.
#pragma once

#include "ProcessTools.h"
#include "common/Scoped.h"

#include <string>

namespace vxtest {

constexpr DWORD kTimedOut = 0xFFFFFFFFu;
// The user control that ends the stand-in Messenger service in any mode.
constexpr DWORD kEndServiceControl = 200;

// A file beside the test program (the programs share one output folder).
using vx::test::BesideTest;
using vx::test::Quoted;

// Runs the command line; its exit code, or kTimedOut after 30 seconds.
using vx::test::RunAndWait;
// KrellinSvc.exe with the given switch text.
DWORD RunKrellinSvc(const wchar_t* switchText);

DWORD ServiceState(SC_HANDLE service);
bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs);
// Stops the service (kEndServiceControl when it refuses the stop), or ends
// its process when it will not stop.
void StopOrEndService(SC_HANDLE service);

bool KeyExists(HKEY root, const char* path);
// The raw bytes of a value, read through the ANSI call.
bool ReadValue(HKEY root, const char* path, const char* name, std::string* data,
               DWORD* type = nullptr);
LONG WriteValue(HKEY root, const char* path, const char* name, DWORD type, const std::string& data);
LONG CreateKeyPath(HKEY root, const char* path);

} // namespace vxtest
