// The browser double's process: "/RegisterDouble" and "/UnregisterDouble"
// edit the prefix's registration; anything else (COM starts it with
// "-Embedding") serves the double's classes on one single-threaded apartment
// until a script calls Shutdown.
#include "BrowserWindow.h"
#include "DoubleIds.h"
#include "DoubleRegistration.h"
#include "ScriptControl.h"
#include "ShellWindowCollection.h"

#include "common/TypeLibrary.h"

#include <shellapi.h>

#include <cstdio>

using namespace vx;
using namespace vx::browserdouble;

namespace {

// A class object offered to other processes while it lives.
class ClassRegistration {
  public:
    ClassRegistration(const CLSID& clsid, IClassFactory* factory)
        : hr_(CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie_)) {}
    ~ClassRegistration() {
        if (SUCCEEDED(hr_)) CoRevokeClassObject(cookie_);
    }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    HRESULT Result() const { return hr_; }

  private:
    DWORD cookie_ = 0;
    HRESULT hr_;
};

ClassFactory<BrowserWindow> gBrowserFactory;
ClassFactory<ShellWindowCollection> gShellFactory;
ClassFactory<ScriptControl> gScriptFactory;

int Serve() {
    ComApartment com;
    if (FAILED(com.Result())) return 1;
    {
        ClassRegistration browsers(kClsidDoubleBrowser, &gBrowserFactory);
        ClassRegistration shell(kClsidDoubleShellWindows, &gShellFactory);
        ClassRegistration scripts(kClsidDoubleScript, &gScriptFactory);
        if (FAILED(browsers.Result()) || FAILED(shell.Result()) || FAILED(scripts.Result()))
            return 2;
        // For a test that started this process and waits for its classes.
        fputs("Serving\n", stdout);
        fflush(stdout);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    ShellWindowCollection::Close();
    return 0;
}

bool IsSwitch(const wchar_t* arg, const wchar_t* name) {
    return (arg[0] == L'/' || arg[0] == L'-') && _wcsicmp(arg + 1, name) == 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    ScopedLocal args;
    *args.Put() = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t* command = argc > 1 ? args.As<LPWSTR>()[1] : L"";
    if (IsSwitch(command, L"RegisterDouble")) return FAILED(RegisterDouble(OwnModulePath()));
    if (IsSwitch(command, L"UnregisterDouble")) return FAILED(UnregisterDouble());
    return Serve();
}
