#include "PopupRig.h"

#include "RegistryTools.h"

#include "common/TextForms.h"

#include <shlobj.h>

#include <optional>
#include <vector>

namespace vx::test {

namespace {

std::wstring FavouriteFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_FAVORITES | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return std::wstring(path) + L"\\Vornix end-to-end";
}

struct Server {
    const wchar_t *file, *progId, *on, *off; // no progId: the double
};
const Server kServers[] = {
    {L"KrellinSvc.exe", L"KrellinSvc.Registry.1", L" /RegServer", L" /UnregServer"},
    {L"Krellin.exe", L"Krellin.KrellinIF.1", L" /RegServer", L" /UnregServer"},
    {L"Marklore.dll", L"Marklore.Marklore.1", L"regsvr32 /s ", L"regsvr32 /s /u "},
    {L"BrowserDouble.exe", nullptr, L" /RegisterDouble", L" /UnregisterDouble"}};

HRESULT Register(const Server& server, bool on) {
    const std::wstring path = Quoted(BesideTest(server.file)),
                       command = on ? server.on : server.off;
    DWORD code = RunAndWait(wcsstr(server.file, L".dll") ? command + path : path + command);
    return code == 0 ? S_OK : code == kNoExitCode ? HRESULT_FROM_WIN32(WAIT_TIMEOUT) : E_FAIL;
}

struct Installed {
    std::vector<const Server*> registeredHere;
    std::optional<ScopedText> settings, startPage;
} gInstalled;

} // namespace

HRESULT PopupRig::Install() {
    // Registration trouble goes to standard error, not to a message box.
    SetEnvironmentVariableW(L"VORNIX_NO_MESSAGEBOX", L"1");
    for (const Server& server : kServers) {
        if (!server.progId || !KeyExists(HKEY_CLASSES_ROOT, server.progId))
            gInstalled.registeredHere.push_back(&server);
        HRESULT hr = Register(server, true);
        if (FAILED(hr)) return hr;
    }
    gInstalled.settings.emplace(HKEY_LOCAL_MACHINE, kSettingsKey, L"AudioFileName");
    gInstalled.settings->Write(L"");
    for (const wchar_t* name :
         {L"MuteAudio", L"AllowSameSite", L"KillFixedSize", L"BypassKeys", L"ShowTray"}) {
        const DWORD on = 1;
        LONG err =
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name, REG_DWORD, &on, sizeof on);
        if (err != ERROR_SUCCESS) return HRESULT_FROM_WIN32(err);
    }
    gInstalled.startPage.emplace(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main",
                                 L"Start Page");
    gInstalled.startPage->Write(L"http://start.example.net/home");
    return WriteFavourite(L"Paper", L"http://www.favourite-paper.com/");
}

void PopupRig::Uninstall() {
    for (const Server* server : gInstalled.registeredHere)
        Register(*server, false);
    gInstalled.registeredHere.clear();
    gInstalled.settings.reset();
    gInstalled.startPage.reset();
    RemoveFavourite(L"Paper");
    RemoveDirectoryW(FavouriteFolder().c_str());
}

HRESULT PopupRig::WriteFavourite(const wchar_t* name, const wchar_t* url) {
    std::wstring folder = FavouriteFolder();
    if (folder.empty()) return E_FAIL;
    CreateDirectoryW(folder.c_str(), nullptr);
    std::string shortcut = "[InternetShortcut]\r\nURL=" + NarrowText(url) + "\r\n";
    ScopedHandle file(CreateFileW((folder + L"\\" + name + L".url").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), shortcut.data(), static_cast<DWORD>(shortcut.size()),
                             &written, nullptr)
               ? S_OK
               : E_FAIL;
}

void PopupRig::RemoveFavourite(const wchar_t* name) {
    DeleteFileW((FavouriteFolder() + L"\\" + name + L".url").c_str());
}

HRESULT PopupRig::Fail(const char* step, HRESULT hr) {
    char text[200];
    snprintf(text, sizeof text, "%s failed: 0x%08lX", step, static_cast<unsigned long>(hr));
    failedStep_ = text;
    return hr;
}

// The servers are started here rather than by COM at the first activation: a
// program that dies in its start-up under Wine is started again (see
// StartProcess), where COM would answer the activation with an error.
HRESULT PopupRig::Start() {
    HRESULT hr = StartServer(settingsProcess_, L"KrellinSvc.exe", "Service started");
    if (SUCCEEDED(hr)) hr = StartDouble();
    if (SUCCEEDED(hr)) hr = OpenWindows(1);
    return FAILED(hr) ? hr : StartAgent();
}

HRESULT PopupRig::StartServer(CapturedProcess& process, const wchar_t* file, const char* ready,
                              const wchar_t* switches) {
    if (!process.Start(Quoted(BesideTest(file)) + switches))
        return Fail(NarrowText(file).c_str(), HRESULT_FROM_WIN32(GetLastError()));
    if (process.WaitForLine(ready, 0, 30000) == CapturedProcess::kNotFound)
        return Fail(ready, E_FAIL);
    return S_OK;
}

HRESULT PopupRig::StartDouble() {
    HRESULT hr = StartServer(doubleProcess_, L"BrowserDouble.exe", "Serving");
    if (FAILED(hr)) return hr;
    hr = browser_.Create(L"BrowserDouble.Script", CLSCTX_LOCAL_SERVER);
    return FAILED(hr) ? Fail("BrowserDouble.Script", hr) : S_OK;
}

HRESULT PopupRig::OpenWindows(int windows) {
    for (int i = 0; i < windows; ++i) {
        std::wstring url = L"http://site" + std::to_wstring(i) + L".example.org/page.html";
        LONG id =
            browser_.Long(L"OpenWindow", "sbb", i ? url.c_str() : kOpenerUrl, 0, 1).value_or(0);
        if (!id) return Fail("OpenWindow", E_FAIL);
        if (i == 0) opener_ = id;
    }
    return S_OK;
}

void PopupRig::KillDouble() {
    doubleProcess_.End();
    browser_.Attach(nullptr);
    deadServers_ = true;
}

void PopupRig::EndSettingsService(bool kill) {
    for (DWORD id : FindProcesses(L"KrellinSvc.exe"))
        if (kill || !EndServerProcess(id)) {
            EndProcess(id);
            deadServers_ = true;
        }
}

void PopupRig::ForgetDeadServers() {
    EndSettingsService();
    RestartRpcss();
    deadServers_ = false;
}

HRESULT PopupRig::StartAgent() {
    // Its classes are served once it says so: a creation before would have
    // COM start a second agent.
    HRESULT hr = StartServer(agentProcess_, L"Krellin.exe", "Service started", L"");
    if (SUCCEEDED(hr) && FAILED(hr = agent_.Create(L"Krellin.KrellinIF.1", CLSCTX_LOCAL_SERVER)))
        return Fail("Krellin.KrellinIF.1", hr);
    if (SUCCEEDED(hr) && !WaitUntil([&] { return agent_.Long(L"IsServeReady") == 1; }, 30000))
        return Fail("IsServeReady", E_FAIL);
    return hr;
}

DWORD PopupRig::QuitAgent() {
    if (!agentProcess_.Process()) return kNoExitCode;
    if (IsRunning(agentProcess_.Process())) agent_.Do(L"Quit");
    agent_.Attach(nullptr);
    return WaitForExit(agentProcess_.Process(), 20000);
}

DWORD PopupRig::Stop() {
    DWORD code = QuitAgent();
    deadServers_ |= IsRunning(agentProcess_.Process());
    agentProcess_.End();
    if (browser_.HasReference()) browser_.Do(L"Shutdown");
    browser_.Attach(nullptr);
    if (doubleProcess_.Process() && WaitForExit(doubleProcess_.Process(), 10000) == kNoExitCode)
        KillDouble();
    EndSettingsService(); // it never ends by itself
    settingsProcess_.End();
    if (deadServers_) ForgetDeadServers();
    return code;
}

LONG PopupRig::StoredBlockCount() {
    return static_cast<LONG>(
        ReadDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"BlockCount").value_or(0));
}

LONG PopupRig::SettledBlockCount(LONG expected) {
    LONG count = 0;
    WaitUntil([&] { return (count = StoredBlockCount()) == expected; }, 5000, 50);
    return count;
}

} // namespace vx::test
