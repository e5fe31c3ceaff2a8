#include "ControlPanelApp.h"

#include "BrowserPage.h"
#include "ControlPanelDialog.h"
#include "NativePage.h"
#include "PageChoice.h"
#include "common/Scoped.h"

#include <commctrl.h>
#include <shellapi.h>

namespace vx {

namespace {

// OLE on this thread for the program's life; the browser control needs more
// than plain COM (in-place activation, drag and drop, the clipboard).
class OleSession {
  public:
    OleSession() : hr_(OleInitialize(nullptr)) {}
    ~OleSession() {
        if (SUCCEEDED(hr_)) OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

  private:
    HRESULT hr_;
};

// How long the browser's page may take to load before the native page
// replaces it: a local file shows in well under a second where an HTML
// engine works, and a panel that is slow to appear looks broken.
constexpr UINT kBrowserPageWaitMs = 3000;

bool IsSwitch(const wchar_t* word, const wchar_t* name) {
    return CompareStringOrdinal(word, -1, name, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

CommandLineSwitches ParseCommandLine(const wchar_t* commandLine) {
    CommandLineSwitches switches;
    if (!commandLine) return switches;
    int count = 0;
    ScopedLocal args;
    *args.Put() = CommandLineToArgvW(commandLine, &count);
    auto** argv = args.As<wchar_t*>();
    if (!argv) return switches;
    // The first word is the program itself.
    for (int i = 1; i < count; ++i) {
        const wchar_t* word = argv[i];
        if (word[0] != L'/' && word[0] != L'-') continue;
        ++word;
        if (IsSwitch(word, L"Embedding") || IsSwitch(word, L"Automation"))
            switches.embedded = true;
        else if (IsSwitch(word, L"Unregister") || IsSwitch(word, L"Unregserver"))
            switches.unregister = true;
        else if (IsSwitch(word, L"Register") || IsSwitch(word, L"Regserver"))
            switches.registerServer = true;
        else if (IsSwitch(word, L"NativePage"))
            switches.nativePage = true;
    }
    return switches;
}

int ControlPanelApp::Run(const wchar_t* commandLine) {
    OleSession ole;
    InitCommonControls();
    const CommandLineSwitches switches = ParseCommandLine(commandLine);
    if (FAILED(module_.RegisterClassObjects())) return 1;

    int exitCode = 0;
    if (switches.embedded) {
        // Nothing here is served to anyone, so there is nothing to wait for.
    } else if (switches.unregister) {
        module_.UnregisterAppId();
        module_.UnregisterServer();
    } else if (switches.registerServer) {
        HRESULT hr = module_.RegisterAppId();
        if (SUCCEEDED(hr)) hr = module_.RegisterServer();
        exitCode = SUCCEEDED(hr) ? 0 : 1;
    } else {
        exitCode = RunDialog(switches.nativePage);
    }
    module_.RevokeClassObjects();
    return exitCode;
}

int ControlPanelApp::RunDialog(bool nativePage) {
    BrowserPage browser;
    NativePage native;
    PageChoice choice(browser, native, kBrowserPageWaitMs);
    HtmlPage& page = nativePage ? static_cast<HtmlPage&>(native) : choice;
    ControlPanelDialog dialog(page);
    dialog.Run(nullptr);
    return 0;
}

} // namespace vx
