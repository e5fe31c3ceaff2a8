// The process host of a local COM server that can also run as an NT
// service: command-line switches, self-registration, service control,
// process security, class objects and the main message loop. A program
// derives from ServiceModule and fills in the hooks where it differs.
#pragma once

#include "Registrar.h"
#include "Scoped.h"

#include <vector>

namespace vx {

// One class the program serves.
struct ServerClass {
    const CLSID* clsid;
    IClassFactory* factory;
    RegistryTable entries;
};

// Who the program is: its AppID and its classes, in registration order.
struct ServerIdentity {
    const char* appId; // "{...}", the subkey of HKEY_CLASSES_ROOT\AppID
    RegistryTable appIdEntries;
    const ServerClass* classes;
    size_t classCount;
};

enum class CommandSwitch { None, UnregServer, RegServer, Service };

// Finds the switch that ends the command line: the text after a '-' or '/'
// must be one of the switch words in full, in any letter case.
CommandSwitch FindCommandSwitch(const char* commandLine);

class ServiceModule {
  public:
    static constexpr UINT kServiceNameId = 100;

    ServiceModule();
    virtual ~ServiceModule();
    ServiceModule(const ServiceModule&) = delete;
    ServiceModule& operator=(const ServiceModule&) = delete;

    // Loads the service name (string resource 100) and resets the status.
    void Init(const ServerIdentity& identity, HINSTANCE instance);

    // The process entry after Init: a registration run, an ordinary run or
    // a service run. Returns the process exit code.
    int Main();

    // Registry errors come back as their plain Win32 codes, other failures
    // as HRESULTs: either is the exit code of a registration run.
    HRESULT RegisterServer(bool registerTypeLib, bool asService);
    HRESULT UnregisterServer();

    bool IsInstalled();
    bool Install();
    bool Uninstall();

    void Start();
    void ServiceMain();
    void Handler(DWORD control);
    void Run();
    void SetStatus(DWORD state);
    void LogEvent(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* ServiceName() const { return serviceName_; }
    bool IsService() const { return isService_; }
    // How the last run began: a failure when it served nothing.
    HRESULT RunResult() const { return runResult_; }
    HINSTANCE Instance() const { return instance_; }

  protected:
    // After the program has decided whether it runs as a service and before
    // it starts. Returning false ends the process at once with *exitCode.
    virtual bool BeforeStart(int* /*exitCode*/) { return true; }
    // After the service or ordinary run has ended.
    virtual void AfterStart() {}
    // In Run, once the class objects are registered. Returning false ends
    // the run without the message loop; the classes go with the apartment.
    virtual bool OnServing() { return true; }
    // Returns when WM_QUIT arrives.
    virtual void MessageLoop();
    // In Run, after the message loop and before the classes are revoked.
    virtual void OnLoopEnded() {}

    // Message boxes of Install and Uninstall. With VORNIX_NO_MESSAGEBOX set
    // in the environment the text goes to standard error instead, so that an
    // unattended registration run never waits on a modal box.
    void ShowMessage(const char* text);

  private:
    static void WINAPI ServiceMainThunk(DWORD argc, LPSTR* argv);
    static void WINAPI HandlerThunk(DWORD control);

    HRESULT RegisterClassObjects();
    void RevokeClassObjects();

    ServerIdentity identity_{};
    HINSTANCE instance_ = nullptr;
    char serviceName_[256] = {};
    bool isService_ = false;
    SERVICE_STATUS status_{};
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
    DWORD mainThreadId_ = 0;
    HRESULT runResult_ = S_OK;
    std::vector<DWORD> cookies_;
};

} // namespace vx
