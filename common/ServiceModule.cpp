#include "ServiceModule.h"

#include "ComSecurity.h"

#include <cstdarg>
#include <cstdio>

namespace vx {

namespace {

// The dispatcher calls back without a context; one host per process.
ServiceModule* gModule = nullptr;

constexpr const char* kNoMessageBoxVariable = "VORNIX_NO_MESSAGEBOX";

LONG SetText(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text) + 1));
}

} // namespace

CommandSwitch FindCommandSwitch(const char* commandLine) {
    if (!commandLine) return CommandSwitch::None;
    for (const char* p = commandLine; *p; p = CharNextA(p)) {
        if (*p != '-' && *p != '/') continue;
        const char* rest = CharNextA(p);
        if (lstrcmpiA(rest, "UnregServer") == 0) return CommandSwitch::UnregServer;
        if (lstrcmpiA(rest, "RegServer") == 0) return CommandSwitch::RegServer;
        if (lstrcmpiA(rest, "Service") == 0) return CommandSwitch::Service;
    }
    return CommandSwitch::None;
}

ServiceModule::ServiceModule() {
    gModule = this;
}

ServiceModule::~ServiceModule() {
    if (gModule == this) gModule = nullptr;
}

void ServiceModule::Init(const ServerIdentity& identity, HINSTANCE instance) {
    identity_ = identity;
    instance_ = instance;
    isService_ = true;
    if (LoadStringA(instance, kServiceNameId, serviceName_, sizeof serviceName_) <= 0)
        serviceName_[0] = '\0';
    status_ = SERVICE_STATUS{};
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = SERVICE_STOPPED;
    status_.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    cookies_.assign(identity.classCount, 0);
}

int ServiceModule::Main() {
    switch (FindCommandSwitch(GetCommandLineA())) {
    case CommandSwitch::UnregServer:
        return static_cast<int>(UnregisterServer());
    case CommandSwitch::RegServer:
        return static_cast<int>(RegisterServer(true, false));
    case CommandSwitch::Service:
        return static_cast<int>(RegisterServer(true, true));
    case CommandSwitch::None:
        break;
    }

    {
        RegKey appIds;
        LONG err = RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_READ, appIds.Put());
        if (err != ERROR_SUCCESS) return err;
        RegKey appKey;
        err = RegOpenKeyExA(appIds.Get(), identity_.appId, 0, KEY_READ, appKey.Put());
        if (err != ERROR_SUCCESS) {
            // First ordinary start: the program registers itself.
            RegisterServer(true, false);
            err = RegOpenKeyExA(appIds.Get(), identity_.appId, 0, KEY_READ, appKey.Put());
            if (err != ERROR_SUCCESS) return err;
        }
        char localService[260];
        DWORD size = sizeof localService;
        isService_ =
            RegQueryValueExA(appKey.Get(), "LocalService", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(localService), &size) == ERROR_SUCCESS;
    }

    int exitCode = 0;
    if (!BeforeStart(&exitCode)) return exitCode;
    Start();
    AfterStart();
    if (FAILED(runResult_)) return static_cast<int>(runResult_);
    return static_cast<int>(status_.dwWin32ExitCode);
}

HRESULT ServiceModule::RegisterServer(bool registerTypeLib, bool asService) {
    ComApartment apartment;
    if (FAILED(apartment.Result())) return apartment.Result();

    // A service left by an earlier registration may point to another file.
    Uninstall();

    HRESULT hr = WriteRegistryTable(identity_.appIdEntries);
    if (FAILED(hr)) return hr;
    RegKey appIds;
    LONG err = RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_WRITE, appIds.Put());
    if (err != ERROR_SUCCESS) return err;
    RegKey appKey;
    err = RegOpenKeyExA(appIds.Get(), identity_.appId, 0, KEY_WRITE, appKey.Put());
    if (err != ERROR_SUCCESS) return err;
    RegDeleteValueA(appKey.Get(), "LocalService");
    err = WriteAppIdPermissions(appKey.Get());
    if (err != ERROR_SUCCESS) return err;

    bool installed = true;
    if (asService) {
        SetText(appKey.Get(), "LocalService", serviceName_);
        SetText(appKey.Get(), "ServiceParameters", "-Service");
        installed = Install();
    }

    for (size_t i = 0; i < identity_.classCount; ++i) {
        hr = WriteRegistryTable(identity_.classes[i].entries);
        if (FAILED(hr)) return hr;
    }
    if (registerTypeLib) {
        hr = RegisterOwnTypeLibrary();
        if (FAILED(hr)) return hr;
    }
    // The message box has told the user; the exit code must say it too.
    return installed ? S_OK : E_FAIL;
}

HRESULT ServiceModule::UnregisterServer() {
    ComApartment apartment;
    if (FAILED(apartment.Result())) return apartment.Result();
    RemoveRegistryTable(identity_.appIdEntries);
    Uninstall();
    for (size_t i = 0; i < identity_.classCount; ++i)
        RemoveRegistryTable(identity_.classes[i].entries);
    UnregisterOwnTypeLibrary();
    return S_OK;
}

bool ServiceModule::IsInstalled() {
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName_, SERVICE_QUERY_CONFIG));
    return static_cast<bool>(service);
}

bool ServiceModule::Install() {
    if (IsInstalled()) return true;
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        ShowMessage("Couldn't open service manager");
        return false;
    }
    // Quoted, so that a path with spaces cannot be read as a shorter
    // program name followed by arguments.
    std::string command = "\"" + ModuleFileName() + "\"";
    ScopedServiceHandle service(
        CreateServiceA(manager.Get(), serviceName_, serviceName_, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       command.c_str(), nullptr, nullptr, "RPCSS\0", nullptr, nullptr));
    if (!service) {
        ShowMessage("Couldn't create service");
        return false;
    }
    return true;
}

bool ServiceModule::Uninstall() {
    if (!IsInstalled()) return true;
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        ShowMessage("Couldn't open service manager");
        return false;
    }
    ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName_, SERVICE_STOP | DELETE));
    if (!service) {
        ShowMessage("Couldn't open service");
        return false;
    }
    SERVICE_STATUS status{};
    ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
    if (!DeleteService(service.Get())) {
        ShowMessage("Service could not be deleted");
        return false;
    }
    return true;
}

void ServiceModule::Start() {
    if (isService_) {
        SERVICE_TABLE_ENTRYA table[] = {{serviceName_, ServiceMainThunk}, {nullptr, nullptr}};
        // Fails at once when the service control manager did not start us.
        if (!StartServiceCtrlDispatcherA(table)) isService_ = false;
    }
    if (!isService_) Run();
}

void ServiceModule::ServiceMain() {
    status_.dwCurrentState = SERVICE_START_PENDING;
    statusHandle_ = RegisterServiceCtrlHandlerA(serviceName_, HandlerThunk);
    if (!statusHandle_) {
        LogEvent("Handler not installed");
        return;
    }
    SetStatus(SERVICE_START_PENDING);
    status_.dwWin32ExitCode = 0;
    status_.dwCheckPoint = 0;
    status_.dwWaitHint = 0;
    Run();
    SetStatus(SERVICE_STOPPED);
    LogEvent("Service stopped");
}

void ServiceModule::Handler(DWORD control) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        // Runs on the dispatcher's thread: the work thread owns the loop.
        SetStatus(SERVICE_STOP_PENDING);
        PostThreadMessageA(mainThreadId_, WM_QUIT, 0, 0);
        break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_SHUTDOWN:
        break;
    default:
        LogEvent("Bad service request");
        break;
    }
}

void ServiceModule::Run() {
    mainThreadId_ = GetCurrentThreadId();
    ComApartment apartment;
    // A server that cannot say who may call it, or whose classes are not
    // there to be served, serves nothing and says so.
    runResult_ = apartment.Result();
    if (SUCCEEDED(runResult_)) runResult_ = InitializeProcessSecurity();
    if (SUCCEEDED(runResult_)) runResult_ = RegisterClassObjects();
    if (FAILED(runResult_)) {
        RevokeClassObjects();
        status_.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status_.dwServiceSpecificExitCode = static_cast<DWORD>(runResult_);
        LogEvent("Service failed to start: 0x%08lX", static_cast<unsigned long>(runResult_));
        return;
    }
    if (!OnServing()) {
        cookies_.assign(cookies_.size(), 0);
        return;
    }
    LogEvent("Service started");
    if (isService_) SetStatus(SERVICE_RUNNING);
    MessageLoop();
    OnLoopEnded();
    RevokeClassObjects();
}

void ServiceModule::SetStatus(DWORD state) {
    status_.dwCurrentState = state;
    if (statusHandle_) SetServiceStatus(statusHandle_, &status_);
}

void ServiceModule::LogEvent(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);

    if (!isService_) {
        fputs(text, stdout);
        fputc('\n', stdout);
        fflush(stdout);
        return;
    }
    HANDLE source = RegisterEventSourceA(nullptr, serviceName_);
    if (!source) return;
    const char* strings[] = {text};
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

void ServiceModule::MessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void ServiceModule::ShowMessage(const char* text) {
    if (GetEnvironmentVariableA(kNoMessageBoxVariable, nullptr, 0) != 0) {
        fprintf(stderr, "%s: %s\n", serviceName_, text);
        fflush(stderr);
        return;
    }
    MessageBoxA(nullptr, text, serviceName_, MB_OK);
}

HRESULT ServiceModule::RegisterClassObjects() {
    for (size_t i = 0; i < identity_.classCount; ++i) {
        const ServerClass& cls = identity_.classes[i];
        HRESULT hr = CoRegisterClassObject(*cls.clsid, cls.factory, CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE, &cookies_[i]);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void ServiceModule::RevokeClassObjects() {
    for (DWORD& cookie : cookies_) {
        HRESULT hr = CoRevokeClassObject(cookie);
        cookie = 0;
        if (FAILED(hr)) break;
    }
}

void WINAPI ServiceModule::ServiceMainThunk(DWORD, LPSTR*) {
    if (gModule) gModule->ServiceMain();
}

void WINAPI ServiceModule::HandlerThunk(DWORD control) {
    if (gModule) gModule->Handler(control);
}

} // namespace vx
