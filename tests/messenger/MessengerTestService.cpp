// The test prefix lacks the "Messenger" service. kEndControl always ends this
// one, so that a test can clean up what it started.
#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kEndControl = 200;

bool gRefuseStop = false;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gEnd = nullptr;

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        (state == SERVICE_RUNNING && !gRefuseStop) ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    const bool stop = control == SERVICE_CONTROL_STOP && !gRefuseStop;
    if (!stop && control != kEndControl) return ERROR_CALL_NOT_IMPLEMENTED;
    if (stop) Report(SERVICE_STOP_PENDING);
    SetEvent(gEnd);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    gStatusHandle = RegisterServiceCtrlHandlerExA("Messenger", Handler, nullptr);
    if (!gStatusHandle) return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(gEnd, INFINITE);
    Report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
    gRefuseStop = argc > 1 && std::strcmp(argv[1], "refuse") == 0;
    gEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char name[] = "Messenger";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
