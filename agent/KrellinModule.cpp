#include "KrellinModule.h"

#include "AgentWindow.h"
#include "KrellinIF.h"

#include "../common/ServiceControl.h"
#include "../engine/ShellWindowsEvents.h"
#include "../engine/WebBrowserEvents2.h"

#include <new>

namespace vx {

namespace {

#define VX_KRELLIN_APPID "{C88DD343-43BB-48EE-8BCE-8DB5EAC74395}"
#define VX_KRELLINIF_CLSID "{A920ED7E-F32C-45BA-B12E-F30E78FFE223}"
#define VX_WEBBROWSEREVENTS2_CLSID "{6A8C9DAD-110F-4B3F-BC9E-813507F4AED4}"
#define VX_SHELLWINDOWSEVENTS_CLSID "{ECFBD407-8AE8-46B6-97C0-C25653D4D477}"
#define VX_KRELLIN_LIBID "{687BF1F8-30E4-4C43-8487-467EBC8F0D47}"

const RegistryEntry kAppIdEntries[] = {
    {"AppID\\" VX_KRELLIN_APPID, nullptr, "Krellin", 0},
    {"AppID\\Krellin.EXE", "AppID", VX_KRELLIN_APPID, 0},
};

const RegistryEntry kKrellinIFEntries[] = {
    {"Krellin.KrellinIF.1", nullptr, "KrellinIF Class", 0},
    {"Krellin.KrellinIF.1\\CLSID", nullptr, VX_KRELLINIF_CLSID, 0},
    {"Krellin.KrellinIF", nullptr, "KrellinIF Class", 0},
    {"Krellin.KrellinIF\\CLSID", nullptr, VX_KRELLINIF_CLSID, 0},
    {"Krellin.KrellinIF\\CurVer", nullptr, "Krellin.KrellinIF.1", 0},
    {"CLSID\\" VX_KRELLINIF_CLSID, nullptr, "KrellinIF Class", kRegReplace},
    {"CLSID\\" VX_KRELLINIF_CLSID, "AppID", VX_KRELLIN_APPID, 0},
    {"CLSID\\" VX_KRELLINIF_CLSID "\\ProgID", nullptr, "Krellin.KrellinIF.1", 0},
    {"CLSID\\" VX_KRELLINIF_CLSID "\\VersionIndependentProgID", nullptr, "Krellin.KrellinIF", 0},
    {"CLSID\\" VX_KRELLINIF_CLSID "\\Programmable", nullptr, nullptr, kRegReplace},
    {"CLSID\\" VX_KRELLINIF_CLSID "\\LocalServer32", nullptr, nullptr, kRegModulePath},
    {"CLSID\\" VX_KRELLINIF_CLSID "\\TypeLib", nullptr, VX_KRELLIN_LIBID, 0},
};

const RegistryEntry kWebBrowserEvents2Entries[] = {
    {"Krellin.WebBrowserEvents2.1", nullptr, "WebBrowserEvents2 Class", 0},
    {"Krellin.WebBrowserEvents2.1\\CLSID", nullptr, VX_WEBBROWSEREVENTS2_CLSID, 0},
    {"Krellin.WebBrowserEvents2", nullptr, "WebBrowserEvents2 Class", 0},
    {"Krellin.WebBrowserEvents2\\CLSID", nullptr, VX_WEBBROWSEREVENTS2_CLSID, 0},
    {"CLSID\\" VX_WEBBROWSEREVENTS2_CLSID, nullptr, "WebBrowserEvents2 Class", kRegReplace},
    {"CLSID\\" VX_WEBBROWSEREVENTS2_CLSID, "AppID", VX_KRELLIN_APPID, 0},
    {"CLSID\\" VX_WEBBROWSEREVENTS2_CLSID "\\ProgID", nullptr, "Krellin.WebBrowserEvents2.1", 0},
    {"CLSID\\" VX_WEBBROWSEREVENTS2_CLSID "\\VersionIndependentProgID", nullptr,
     "Krellin.WebBrowserEvents2", 0},
    {"CLSID\\" VX_WEBBROWSEREVENTS2_CLSID "\\LocalServer32", nullptr, nullptr, kRegModulePath},
};

const RegistryEntry kShellWindowsEventsEntries[] = {
    {"Krellin.ShellWindowsEvents.1", nullptr, "ShellWindowsEvents Class", 0},
    {"Krellin.ShellWindowsEvents.1\\CLSID", nullptr, VX_SHELLWINDOWSEVENTS_CLSID, 0},
    {"Krellin.ShellWindowsEvents", nullptr, "ShellWindowsEvents Class", 0},
    {"Krellin.ShellWindowsEvents\\CLSID", nullptr, VX_SHELLWINDOWSEVENTS_CLSID, 0},
    {"Krellin.ShellWindowsEvents\\CurVer", nullptr, "Krellin.ShellWindowsEvents.1", 0},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID, nullptr, "ShellWindowsEvents Class", kRegReplace},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID, "AppID", VX_KRELLIN_APPID, 0},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID "\\ProgID", nullptr, "Krellin.ShellWindowsEvents.1", 0},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID "\\VersionIndependentProgID", nullptr,
     "Krellin.ShellWindowsEvents", 0},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID "\\Programmable", nullptr, nullptr, kRegReplace},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID "\\LocalServer32", nullptr, nullptr, kRegModulePath},
    {"CLSID\\" VX_SHELLWINDOWSEVENTS_CLSID "\\TypeLib", nullptr, VX_KRELLIN_LIBID, 0},
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
