#include "PopupRig.h"

#include "ProcessTools.h"
#include "RegistryTools.h"

#include "common/TextForms.h"

#include <shlobj.h>

#include <optional>
#include <vector>

namespace vx::test {

namespace {

constexpr const wchar_t* kStartPageKey = L"Software\\Microsoft\\Internet Explorer\\Main";

std::wstring FavouriteFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_FAVORITES | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return std::wstring(path) + L"\\Vornix end-to-end";
}

// Each registers itself but the favourites reader, which regsvr32 registers.
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

// What Install found, so that Uninstall leaves the prefix as it was.
struct Installed {
    bool settingsKey = false;
    std::vector<const Server*> registeredHere;
    std::optional<std::wstring> startPage;
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
    gInstalled.settingsKey = !KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
    for (const wchar_t* name :
         {L"MuteAudio", L"AllowSameSite", L"KillFixedSize", L"BypassKeys", L"ShowTray"}) {
        LONG err = WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, name, 1);
        if (err != ERROR_SUCCESS) return HRESULT_FROM_WIN32(err);
    }
    WriteText(HKEY_LOCAL_MACHINE, kSettingsKey, L"AudioFileName", L"");
    if (!gInstalled.startPage)
        gInstalled.startPage =
            ReadText(HKEY_CURRENT_USER, kStartPageKey, L"Start Page").value_or(std::wstring());
    WriteText(HKEY_CURRENT_USER, kStartPageKey, L"Start Page", kStartPage);
    return WriteFavourite(L"Paper", kFavouriteUrl);
}

void PopupRig::Uninstall() {
    for (const Server* server : gInstalled.registeredHere)
        Register(*server, false);
    gInstalled.registeredHere.clear();
    if (gInstalled.settingsKey) RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
    if (gInstalled.startPage && gInstalled.startPage->empty())
        DeleteValue(HKEY_CURRENT_USER, kStartPageKey, L"Start Page");
    else if (gInstalled.startPage)
        WriteText(HKEY_CURRENT_USER, kStartPageKey, L"Start Page", *gInstalled.startPage);
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
    if (!file || !WriteFile(file.Get(), shortcut.data(), static_cast<DWORD>(shortcut.size()),
                            &written, nullptr))
        return E_FAIL;
    return S_OK;
}

void PopupRig::RemoveFavourite(const wchar_t* name) {
    DeleteFileW((FavouriteFolder() + L"\\" + name + L".url").c_str());
}

HRESULT PopupRig::Fail(const char* step, HRESULT hr) {
    char code[16];
    snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    failedStep_ = std::string(step) + " failed: " + code;
    return hr;
}

// The servers are started here rather than by COM at the first activation: a
// program that dies in its start-up under Wine is started again (see
// StartProcess), where COM would answer the activation with an error.
HRESULT PopupRig::Start(int windows) {
    HRESULT hr = StartServer(settingsProcess_, L"KrellinSvc.exe", "Service started");
    if (SUCCEEDED(hr)) hr = StartDouble();
    if (SUCCEEDED(hr)) hr = OpenWindows(windows);
    return FAILED(hr) ? hr : StartAgent();
}

HRESULT PopupRig::StartServer(CapturedProcess& process, const wchar_t* file, const char* ready) {
    if (!process.Start(Quoted(BesideTest(file)) + L" -Embedding"))
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
        std::optional<LONG> id =
            browser_.Long(L"OpenWindow", "sbb", i == 0 ? kOpenerUrl : url.c_str(), 0, 1);
        if (!id) return Fail("OpenWindow", E_FAIL);
        if (i == 0) opener_ = *id;
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
    if (!agentProcess_.Start(Quoted(BesideTest(L"Krellin.exe"))))
        return Fail("Krellin.exe", HRESULT_FROM_WIN32(GetLastError()));
    // Its class objects are registered before the single-instance mutex is
    // made: from then on a creation cannot make COM start a second agent.
    auto mutex = [] { return ScopedHandle(OpenMutexA(SYNCHRONIZE, FALSE, "Krellin Instance")); };
    WaitUntil([&] { return mutex() || !IsRunning(agentProcess_.Process()); }, 30000);
    if (!mutex()) return Fail("Krellin Instance mutex", E_FAIL);
    HRESULT hr = agent_.Create(L"Krellin.KrellinIF.1", CLSCTX_LOCAL_SERVER);
    if (FAILED(hr)) return Fail("Krellin.KrellinIF.1", hr);
    return WaitUntil([&] { return agent_.Long(L"IsServeReady") == 1; }, 30000)
               ? S_OK
               : Fail("IsServeReady", E_FAIL);
}

DWORD PopupRig::QuitAgent(DWORD timeoutMs) {
    if (!agentProcess_.Process()) return kNoExitCode;
    if (IsRunning(agentProcess_.Process())) agent_.Do(L"Quit");
    agent_.Attach(nullptr);
    return WaitForExit(agentProcess_.Process(), timeoutMs);
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

PopupRig::Outcome PopupRig::StateOf(LONG id) {
    Outcome o;
    o.id = id;
    o.open = browser_.Bool(L"IsOpen", "I", id).value_or(false);
    o.visible = browser_.Bool(L"IsVisible", "I", id).value_or(false);
    o.quit = browser_.Bool(L"WasQuit", "I", id).value_or(false);
    o.cancelled = browser_.Bool(L"WasCancelled", "I", id).value_or(false);
    o.everShown = o.visible || browser_.Double(L"ShownTime", "I", id).value_or(0) > 0;
    return o;
}

PopupRig::Outcome PopupRig::Popup(const wchar_t* url) {
    return StateOf(browser_.Long(L"OpenPopup", "Is", opener_, url).value_or(0));
}

LONG PopupRig::StoredBlockCount() {
    return static_cast<LONG>(
        ReadDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"BlockCount").value_or(0));
}

LONG PopupRig::SettledBlockCount(LONG expected, DWORD timeoutMs) {
    LONG count = 0;
    WaitUntil([&] { return (count = StoredBlockCount()) == expected; }, timeoutMs, 50);
    return count;
}

} // namespace vx::test
