#include "KrellinModule.h"

#include "AgentWindow.h"
#include "KrellinIF.h"

#include "common/ServiceControl.h"
#include "engine/ShellWindowsEvents.h"
#include "engine/WebBrowserEvents2.h"

#include <new>

namespace vx {

namespace {

#define VX_KRELLIN_APPID "{C88DD343-43BB-48EE-8BCE-8DB5EAC74395}"
#define VX_KRELLINIF_CLSID "{A920ED7E-F32C-45BA-B12E-F30E78FFE223}"
#define VX_WEBBROWSEREVENTS2_CLSID "{6A8C9DAD-110F-4B3F-BC9E-813507F4AED4}"
#define VX_SHELLWINDOWSEVENTS_CLSID "{ECFBD407-8AE8-46B6-97C0-C25653D4D477}"
#define VX_KRELLIN_LIBID "{687BF1F8-30E4-4C43-8487-467EBC8F0D47}"
#define VX_ENGINE_LIBID "{21BCA4AC-445D-44CC-9180-60C4C594BE8B}"

const RegistryEntry kAppIdEntries[] = {VX_APPID_ROWS(VX_KRELLIN_APPID, "Krellin", "Krellin.EXE")};

const RegistryEntry kKrellinIFEntries[] = {
    VX_SERVER_CLASS_ROWS("Krellin.KrellinIF", VX_KRELLINIF_CLSID, "KrellinIF Class",
                         VX_KRELLIN_APPID),
    VX_PROGRAMMABLE_CLASS_ROWS("Krellin.KrellinIF", VX_KRELLINIF_CLSID, VX_KRELLIN_LIBID),
};

// The browser sink class has no CurVer, Programmable or TypeLib entries.
const RegistryEntry kWebBrowserEvents2Entries[] = {
    VX_SERVER_CLASS_ROWS("Krellin.WebBrowserEvents2", VX_WEBBROWSEREVENTS2_CLSID,
                         "WebBrowserEvents2 Class", VX_KRELLIN_APPID),
};

const RegistryEntry kShellWindowsEventsEntries[] = {
    VX_SERVER_CLASS_ROWS("Krellin.ShellWindowsEvents", VX_SHELLWINDOWSEVENTS_CLSID,
                         "ShellWindowsEvents Class", VX_KRELLIN_APPID),
    VX_PROGRAMMABLE_CLASS_ROWS("Krellin.ShellWindowsEvents", VX_SHELLWINDOWSEVENTS_CLSID,
                               VX_ENGINE_LIBID),
};

ClassFactory<KrellinIF> gKrellinIFFactory;
ClassFactory<WebBrowserEvents2> gWebBrowserEvents2Factory;
ClassFactory<ShellWindowsEvents> gShellWindowsEventsFactory;

const ServerClass kClasses[] = {
    {&CLSID_KrellinIF, &gKrellinIFFactory, MakeRegistryTable(kKrellinIFEntries)},
    {&CLSID_WebBrowserEvents2, &gWebBrowserEvents2Factory,
     MakeRegistryTable(kWebBrowserEvents2Entries)},
    {&CLSID_ShellWindowsEvents, &gShellWindowsEventsFactory,
     MakeRegistryTable(kShellWindowsEventsEntries)},
};

} // namespace

void KrellinModule::Init(HINSTANCE instance) {
    ServiceModule::Init(ServerIdentity{VX_KRELLIN_APPID, MakeRegistryTable(kAppIdEntries), kClasses,
                                       sizeof kClasses / sizeof kClasses[0]},
                        instance);
}

void KrellinModule::StartSettingsService() { EnableServiceAutoStart(kSettingsService); }

bool KrellinModule::OnServing() {
    StartSettingsService();
    auto* window = new (std::nothrow) AgentWindow();
    if (!window) return false;
    window->EchoLogToStdout(!IsService());
    if (window->InitInstance(Instance(), SW_HIDE)) return true;
    // Another agent runs, or no window could be made.
    delete window;
    theAgentWindow = nullptr;
    return false;
}

void KrellinModule::MessageLoop() {
    if (theAgentWindow) theAgentWindow->RunMessageLoop();
}

void KrellinModule::OnLoopEnded() {
    delete theAgentWindow;
    theAgentWindow = nullptr;
}

} // namespace vx
