#include "ShellWindowCollection.h"

#include "common/Registrar.h"

#include <shellapi.h>

#include <cstdio>
#include <utility>

using namespace vx;
using namespace vx::browserdouble;

namespace {

#define VX_DOUBLE_BROWSER "{B4A00AEE-7881-4969-A510-62F3357C44FD}"
#define VX_DOUBLE_SHELL "{5D789500-AA32-4D8E-A3CE-C690D4E10E87}"
#define VX_SHELL_WINDOWS "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}"

// TreatAs keys make every creation of the platform's browser and ShellWindows
// classes make the double's; their own registration stays untouched.
constexpr RegistryEntry kDoubleRows[] = {
    {"CLSID\\" VX_DOUBLE_BROWSER, nullptr, nullptr, kRegReplace},
    {"CLSID\\" VX_DOUBLE_BROWSER "\\LocalServer32", nullptr, nullptr, kRegModuleCommand},
    {"CLSID\\" VX_DOUBLE_SHELL, nullptr, nullptr, kRegReplace},
    {"CLSID\\" VX_DOUBLE_SHELL "\\LocalServer32", nullptr, nullptr, kRegModuleCommand},
    {"BrowserDouble.Script", nullptr, nullptr, kRegReplace},
    {"BrowserDouble.Script\\CLSID", nullptr, VX_DOUBLE_SHELL, 0},
    {"CLSID\\{0002DF01-0000-0000-C000-000000000046}\\TreatAs", nullptr, VX_DOUBLE_BROWSER, 0},
    {"CLSID\\" VX_SHELL_WINDOWS "\\TreatAs", nullptr, VX_DOUBLE_SHELL, 0},
};
// The agent asks for this ProgID only to learn that the shell is there. It
// is made (and marked as made) only where the prefix lacks it.
constexpr RegistryEntry kProgIdRows[] = {
    {"Shell.FolderView.1", nullptr, nullptr, 0},
    {"Shell.FolderView.1\\CLSID", nullptr, VX_SHELL_WINDOWS, 0},
    {"CLSID\\" VX_DOUBLE_SHELL, "MadeFolderViewProgId", "1", 0},
};

bool Exists(const char* key, const char* value) {
    return RegGetValueA(HKEY_CLASSES_ROOT, key, value, RRF_RT_REG_SZ, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

HRESULT RegisterDouble() {
    HRESULT hr = WriteRegistryTable(MakeRegistryTable(kDoubleRows));
    if (SUCCEEDED(hr) && !Exists("Shell.FolderView.1\\CLSID", nullptr))
        hr = WriteRegistryTable(MakeRegistryTable(kProgIdRows));
    return hr;
}

HRESULT UnregisterDouble() {
    if (Exists("CLSID\\" VX_DOUBLE_SHELL, "MadeFolderViewProgId"))
        RemoveRegistryTable(MakeRegistryTable(kProgIdRows));
    RemoveRegistryTable(MakeRegistryTable(kDoubleRows));
    return S_OK;
}

int Serve() {
    ComApartment com;
    static ClassFactory<BrowserWindow> browsers;
    static ClassFactory<ShellWindowCollection> shells;
    const std::pair<const wchar_t*, IClassFactory*> classes[] = {{L"" VX_DOUBLE_BROWSER, &browsers},
                                                                 {L"" VX_DOUBLE_SHELL, &shells}};
    DWORD cookies[2] = {};
    HRESULT hr = com.Result();
    for (int i = 0; i < 2 && SUCCEEDED(hr); ++i) {
        CLSID clsid;
        hr = CLSIDFromString(classes[i].first, &clsid);
        if (SUCCEEDED(hr))
            hr = CoRegisterClassObject(clsid, classes[i].second, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookies[i]);
    }
    if (SUCCEEDED(hr)) {
        fputs("Serving\n", stdout);
        fflush(stdout);
    }
    MSG msg;
    while (SUCCEEDED(hr) && GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    for (DWORD cookie : cookies)
        if (cookie) CoRevokeClassObject(cookie);
    ShellWindowCollection::Close();
    return FAILED(hr);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    ScopedLocal args;
    *args.Put() = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t* arg = argc > 1 ? args.As<LPWSTR>()[1] : L"";
    const wchar_t* command = *arg ? arg + 1 : arg; // after the "/" or "-"
    if (_wcsicmp(command, L"RegisterDouble") == 0) return FAILED(RegisterDouble());
    if (_wcsicmp(command, L"UnregisterDouble") == 0) return FAILED(UnregisterDouble());
    return Serve();
}
