#include "AboutDialog.h"
#include "BrowserPage.h"
#include "ControlPanelApp.h"
#include "ControlPanelDialog.h"
#include "InstallPaths.h"
#include "PanelFakes.h"
#include "TextForms.h"
#include "TypeLibrary.h"

#include <gtest/gtest.h>

#include <functional>

namespace vx::test {
namespace {

constexpr char kAppIdKey[] = "AppID\\{1F182AC9-519F-4D3F-A5C1-2ED546A9C7A3}";
constexpr char kExeKey[] = "AppID\\VornixUI.EXE";
constexpr char kTypeLibKey[] = "TypeLib\\{574E178F-24FD-44B4-BDCC-4A8013185C1B}\\1.0";
constexpr char kSubPath[] = "\\Quandrel, Inc\\Vornix! Popup Blocker\\";

// A registry value under HKEY_CLASSES_ROOT, or "<missing>".
std::string ClassesValue(const char* key, const char* name) {
    char text[512] = {};
    DWORD size = sizeof text - 1;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return "<missing>";
    return text;
}

bool ClassesKeyExists(const char* key) {
    RegKey k;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

// Runs a script once from inside the modal loop that starts next; a loop
// that never starts leaves no script behind for the next test.
std::function<void()> gScript;
void CALLBACK RunScript(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    std::function<void()> script = std::move(gScript);
    gScript = nullptr;
    if (script) script();
}
class OnNextTick {
  public:
    explicit OnNextTick(std::function<void()> script) {
        gScript = std::move(script);
        id_ = SetTimer(nullptr, 0, 20, RunScript);
    }
    ~OnNextTick() {
        KillTimer(nullptr, id_);
        gScript = nullptr;
    }

  private:
    UINT_PTR id_;
};

TEST(CommandLine, SwitchesAreFoundWithEitherMarkInAnyCase) {
    struct Case {
        const wchar_t* line;
        bool embedded, unregister, registerServer, nativePage;
    };
    const Case cases[] = {
        {L"VornixUI.exe /regserver", false, false, true, false},
        {L"VornixUI.exe -RegServer", false, false, true, false},
        {L"VornixUI.exe /REGISTER", false, false, true, false},
        {L"\"C:\\Program Files\\x\\VornixUI.exe\" /Unregserver", false, true, false, false},
        {L"VornixUI.exe -unregister", false, true, false, false},
        {L"VornixUI.exe /Embedding", true, false, false, false},
        {L"VornixUI.exe -AUTOMATION", true, false, false, false},
        {L"VornixUI.exe", false, false, false, false},
        {L"VornixUI.exe /NativePage", false, false, false, true},
        {L"VornixUI.exe -nativepage /regserver", false, false, true, true},
        {L"VornixUI.exe readme.txt", false, false, false, false},
        {L"VornixUI.exe /regservers /xyz regserver", false, false, false, false},
        {L"/regserver", false, false, false, false}, // the program's own name comes first
    };
    for (const Case& c : cases) {
        CommandLineSwitches s = ParseCommandLine(c.line);
        EXPECT_EQ(s.embedded, c.embedded) << Ascii(c.line);
        EXPECT_EQ(s.unregister, c.unregister) << Ascii(c.line);
        EXPECT_EQ(s.registerServer, c.registerServer) << Ascii(c.line);
        EXPECT_EQ(s.nativePage, c.nativePage) << Ascii(c.line);
    }
}

TEST(InstallPaths, PagesLieInTheInstallFolderAndNeverOverflow) {
    const std::string page = "vornixui-popup.htm";
    const size_t fixed = 7 + strlen(kSubPath) + page.size();
    const std::string fits = "C:\\" + std::string(MAX_PATH - 1 - fixed - 3, 'p');
    const std::string tooLong = fits + "p";
    struct Case {
        const char* name;
        const char* programFiles; // null: unset
        std::string address;
    };
    const Case cases[] = {
        {"unset", nullptr, std::string("file://C:\\Program Files") + kSubPath + page},
        {"elsewhere", "D:\\Apps", std::string("file://D:\\Apps") + kSubPath + page},
        {"empty", "", std::string("file://C:\\Program Files") + kSubPath + page},
        {"longest that fits", fits.c_str(), "file://" + fits + kSubPath + page},
        {"one too long", tooLong.c_str(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFilesOverride env(c.programFiles);
        EXPECT_EQ(PageAddress(), c.address);
        EXPECT_LT(PageAddress().size(), static_cast<size_t>(MAX_PATH));
    }
    ProgramFilesOverride env("D:\\Apps");
    EXPECT_EQ(HelpPagePath(), std::string("D:\\Apps") + kSubPath + "index.htm");
    ProgramFilesOverride huge(std::string(400, 'h').c_str());
    EXPECT_EQ(HelpPagePath(), "");
}

TEST(InstallPaths, ThePanelShowsOnlyItsOwnPagesAndBindsOnlyItsPage) {
    ProgramFilesOverride env("C:\\Program Files");
    const std::wstring folder =
        L"file:///C:/Program%20Files/Quandrel,%20Inc/Vornix!%20Popup%20Blocker/";
    struct Case {
        std::wstring url;
        bool page, shown;
    };
    const Case cases[] = {
        {WidenText(PageAddress()), true, true},
        {folder + L"vornixui-popup.htm", true, true},
        {L"FILE:///c:/program files/quandrel, inc/vornix! popup blocker/x/../VORNIXUI-POPUP.HTM",
         true, true},
        {L"C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\vornixui-popup.htm", true,
         true},
        {folder + L"index.htm", false, true},
        {L"about:blank", false, true},
        {L"http://www.quandrel.com/", false, false},
        {L"file://server/share/vornixui-popup.htm", false, false},
        {folder + L"vornixui-popup.htm.evil", false, false},
        {L"file:///C:/Temp/vornixui-popup.htm", false, false},
        {folder + L"vornixui-popup.htm" + std::wstring(1, L'\0') + L"x", false, false},
        {L"about:blank#x", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Ascii(c.url));
        EXPECT_EQ(IsPanelPage(c.url), c.page);
        EXPECT_EQ(IsPanelAddress(c.url), c.shown);
    }
}

TEST(Registration, EmbeddingShowsNothingAndCreatesNoClient) {
    ComApartment apartment;
    DesktopRecorder desktop;
    AgentServer server;
    ControlPanelApp app;
    for (const wchar_t* line : {L"VornixUI.exe /Embedding", L"VornixUI.exe -automation",
                                L"VornixUI.exe /embedding /regserver"}) {
        EXPECT_EQ(app.Run(line), 0);
        EXPECT_TRUE(server.log.empty()) << Ascii(line);
        EXPECT_TRUE(desktop.events.empty()) << Ascii(line);
    }
    EXPECT_FALSE(ClassesKeyExists(kAppIdKey)) << "embedding wins over registering";
}

// The real program, started as the agent or an installer would start it.
DWORD RunControlPanel(const std::wstring& arguments) {
    std::wstring exe = OwnModulePath();
    exe.resize(exe.find_last_of(L'\\') + 1);
    exe += L"VornixUI.exe";
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return 0xDEAD;
    ScopedHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 0xDEAD);
        WaitForSingleObject(process.Get(), 5000);
        return 0xDEAD;
    }
    DWORD code = 0xDEAD;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

TEST(Program, RegistersUnregistersAndEndsWhenEmbedded) {
    for (const wchar_t* line : {L"-REGSERVER", L"/register"}) {
        EXPECT_EQ(RunControlPanel(line), 0u);
        EXPECT_EQ(ClassesValue(kAppIdKey, nullptr), "VornixUI");
        EXPECT_EQ(ClassesValue(kExeKey, "AppID"), "{1F182AC9-519F-4D3F-A5C1-2ED546A9C7A3}");
        EXPECT_EQ(ClassesValue(kTypeLibKey, nullptr), "VornixUI 1.0 Type Library");
    }
    std::wstring folder = OwnModulePath();
    folder.resize(folder.find_last_of(L'\\'));
    const std::string helpDir =
        ClassesValue((std::string(kTypeLibKey) + "\\HELPDIR").c_str(), nullptr);
    EXPECT_EQ(helpDir.rfind(Ascii(folder), 0), 0u) << helpDir;
    // With no agent registered a dialog would sit behind message boxes; an
    // embedded start must end at once instead.
    EXPECT_EQ(RunControlPanel(L"/Embedding"), 0u);
    EXPECT_EQ(RunControlPanel(L"/unregserver"), 0u);
    EXPECT_FALSE(ClassesKeyExists(kAppIdKey));
    EXPECT_FALSE(ClassesKeyExists(kTypeLibKey));
    EXPECT_TRUE(ClassesKeyExists("AppID"));
}

TEST(AboutBox, ShowsTheMakersLinkOnWhiteAndOpensIt) {
    DesktopRecorder desktop;
    AboutDialog about;
    std::string title, link;
    COLORREF linkColour = 0;
    OnNextTick tick([&] {
        HWND w = about.Window();
        char text[128] = {};
        GetWindowTextA(w, text, sizeof text);
        title = text;
        GetDlgItemTextA(w, 1000, text, sizeof text);
        link = text;
        HDC dc = CreateCompatibleDC(nullptr);
        HWND control = GetDlgItem(w, 1000);
        SendMessageW(w, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control));
        linkColour = GetTextColor(dc);
        DeleteDC(dc);
        SendMessageW(w, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        SendMessageW(w, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(about.Run(nullptr), IDOK);
    EXPECT_EQ(title, "About Vornix! Popup Blocker");
    EXPECT_EQ(link, "www.quandrel.com");
    EXPECT_EQ(linkColour, RGB(0, 0, 255));
    EXPECT_EQ(desktop.events, std::vector<std::string>{"open:http://www.quandrel.com/"});
}

TEST(ControlPanelWindow, RunsModallyOverItsPageWithTheAboutItemAndIcons) {
    ComApartment apartment;
    DesktopRecorder desktop;
    AgentServer server;
    ProgramFilesOverride env(nullptr);
    ScriptedPage page;
    page.elements = ScriptedPage::ControlPanelElements();
    ControlPanelDialog panel(page);
    std::string lastItem;
    UINT lastId = 0, separatorState = 0;
    bool icons = false;
    OnNextTick tick([&] {
        HWND w = panel.Window();
        HMENU menu = GetSystemMenu(w, FALSE);
        const int n = GetMenuItemCount(menu);
        char text[128] = {};
        GetMenuStringA(menu, n - 1, text, sizeof text, MF_BYPOSITION);
        lastItem = text;
        lastId = GetMenuItemID(menu, n - 1);
        separatorState = GetMenuState(menu, n - 2, MF_BYPOSITION);
        icons =
            SendMessageW(w, WM_GETICON, ICON_BIG, 0) && SendMessageW(w, WM_GETICON, ICON_SMALL, 0);
        page.CompleteDocument();
        page.Click(L"ButtonOK");
    });
    EXPECT_EQ(panel.Run(nullptr), IDOK);
    EXPECT_EQ(page.opens, 1);
    EXPECT_EQ(page.closes, 1);
    EXPECT_EQ(
        page.address,
        L"file://C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\vornixui-popup.htm");
    EXPECT_EQ(lastItem, "&About Vornix! Popup Blocker...");
    EXPECT_EQ(lastId, 0x0010u);
    EXPECT_TRUE(separatorState & MF_SEPARATOR);
    EXPECT_TRUE(icons);
    EXPECT_EQ(server.log.size(), 2u + 16u);
    EXPECT_TRUE(desktop.events.empty());
}

TEST(ControlPanelWindow, TooLongAProgramFilesFolderIsRefusedNotCut) {
    ComApartment apartment;
    DesktopRecorder desktop;
    AgentServer server;
    ProgramFilesOverride env(("C:\\" + std::string(250, 'p')).c_str());
    ScriptedPage page;
    page.elements = ScriptedPage::ControlPanelElements();
    ControlPanelDialog panel(page);
    OnNextTick tick([&] {
        page.CompleteDocument();
        page.Click(L"Vhelp");
        page.Click(L"ButtonCancel");
    });
    EXPECT_EQ(panel.Run(nullptr), IDCANCEL);
    EXPECT_EQ(page.address, L"about:blank");
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"box:Vornix!", "box:Vornix!"}));
    for (const std::string& text : desktop.boxTexts)
        EXPECT_NE(text.find("too long"), std::string::npos) << text;
}

TEST(BrowserWindow, TheSystemBrowserIsHostedAndLetGoWithoutAPage) {
    ComApartment apartment;
    OleInitialize(nullptr);
    DesktopRecorder desktop;
    AgentServer server;
    BrowserPage page;
    bool embedded = false;
    {
        ControlPanelDialog panel(page);
        OnNextTick tick([&] {
            embedded = GetWindow(panel.Window(), GW_CHILD) != nullptr;
            PostMessageW(panel.Window(), WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(panel.Run(nullptr), IDCANCEL);
    }
    EXPECT_TRUE(embedded) << "the control is in place in the dialog";
    OleUninitialize();
    EXPECT_TRUE(desktop.events.empty());
}

} // namespace
} // namespace vx::test
