// How the control panel starts: its switches, where its pages lie and which
// addresses it shows, its registration, its page and its window over it.
#include "VornixUI/BrowserPage.h"
#include "VornixUI/ControlPanelApp.h"
#include "VornixUI/ControlPanelDialog.h"
#include "VornixUI/InstallPaths.h"
#include "VornixUI/NativePage.h"
#include "VornixUI/PageChoice.h"
#include "PanelFakes.h"
#include "common/TextForms.h"

#include "tests/support/ProcessTools.h"
#include "tests/support/RegistryTools.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace vx::test {
namespace {

constexpr wchar_t kAppIdKey[] = L"AppID\\{1F182AC9-519F-4D3F-A5C1-2ED546A9C7A3}";
constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{574E178F-24FD-44B4-BDCC-4A8013185C1B}\\1.0";
constexpr char kSubPath[] = "\\Quandrel, Inc\\Vornix! Popup Blocker\\";

TEST(CommandLine, SwitchesAreFoundWithEitherMarkInAnyCase) {
    const struct {
        const wchar_t* line;
        bool embedded, unregister, registerServer, nativePage;
    } cases[] = {
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
    for (const auto& c : cases) {
        CommandLineSwitches s = ParseCommandLine(c.line);
        EXPECT_EQ((std::vector<bool>{s.embedded, s.unregister, s.registerServer, s.nativePage}),
                  (std::vector<bool>{c.embedded, c.unregister, c.registerServer, c.nativePage}))
            << Ascii(c.line);
    }
}

TEST(InstallPaths, PagesLieInTheInstallFolderNeverOverflowAndOnlyTheyAreShown) {
    const std::string page = "vornixui-popup.htm";
    const std::string fits =
        "C:\\" + std::string(MAX_PATH - 1 - 7 - strlen(kSubPath) - page.size() - 3, 'p');
    const std::string tooLong = fits + "p";
    const std::string standard = std::string("file://C:\\Program Files") + kSubPath + page;
    const struct {
        const char* programFiles; // null: unset
        std::string address;
    } cases[] = {
        {nullptr, standard},   {"D:\\Apps", std::string("file://D:\\Apps") + kSubPath + page},
        {"", standard},        {fits.c_str(), "file://" + fits + kSubPath + page},
        {tooLong.c_str(), ""},
    };
    for (const auto& c : cases) {
        ProgramFilesOverride env(c.programFiles);
        EXPECT_EQ(PageAddress(), c.address);
        EXPECT_LT(PageAddress().size(), static_cast<size_t>(MAX_PATH));
    }
    ProgramFilesOverride huge(std::string(400, 'h').c_str());
    EXPECT_EQ(HelpPagePath(), "");
    ProgramFilesOverride env("C:\\Program Files");
    const std::wstring folder =
        L"file:///C:/Program%20Files/Quandrel,%20Inc/Vornix!%20Popup%20Blocker/";
    const struct {
        std::wstring url;
        bool page, shown;
    } urls[] = {
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
    for (const auto& c : urls) {
        EXPECT_EQ(IsPanelPage(c.url), c.page) << Ascii(c.url);
        EXPECT_EQ(IsPanelAddress(c.url), c.shown) << Ascii(c.url);
    }
}

// The real program registers and unregisters; embedded (started by COM) it
// shows nothing, creates no client and registers nothing.
TEST(Registration, TheProgramRegistersAndUnregistersButNotWhenEmbedded) {
    const std::wstring program = Quoted(BesideTest(L"VornixUI.exe"));
    EXPECT_EQ(RunAndWait(program + L" -REGSERVER"), 0u);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, L"AppID\\VornixUI.EXE", L"AppID"),
              std::wstring(kAppIdKey).substr(6));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    EXPECT_EQ(RunAndWait(program + L" /unregserver"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    ComApartment apartment;
    DesktopRecorder desktop;
    AgentServer server;
    ControlPanelApp app;
    for (const wchar_t* line : {L"VornixUI.exe /Embedding", L"VornixUI.exe -automation",
                                L"VornixUI.exe /embedding /regserver"}) {
        EXPECT_EQ(app.Run(line), 0);
        EXPECT_TRUE(server.log.empty()) << Ascii(line);
        EXPECT_TRUE(desktop.events.empty()) << Ascii(line);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey)) << Ascii(line);
    }
}

TEST(PageChoice, TheBrowsersPageStaysOnlyWhenItOpensAndCompletesInTime) {
    const struct {
        const char* name;
        HRESULT browserOpens;
        bool completes, topLevel, fallsBack;
    } cases[] = {
        {"control cannot be created", E_FAIL, false, false, true},
        {"page completes", S_OK, true, true, false},
        {"only a frame completes", S_OK, true, false, true},
        {"page never completes", S_OK, false, false, true},
    };
    ScopedGdiLike<HWND, DestroyWindow> parent(CreateWindowExW(
        0, L"STATIC", L"", WS_POPUP, 0, 0, 660, 480, nullptr, nullptr, nullptr, nullptr));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubPage browser;
        NativePage native;
        browser.openResult = c.browserOpens;
        struct : PageEvents {
            int completes = 0;
            void OnDocumentComplete(bool topLevel) override { completes += topLevel; }
            void OnElementClick(const wchar_t*) override {}
        } dialog;
        PageChoice choice(browser, native, 300);
        ASSERT_EQ(choice.Open(parent.Get(), L"file://x/vornixui-popup.htm", &dialog), S_OK);
        if (c.completes) browser.events->OnDocumentComplete(c.topLevel);
        PumpFor(600);
        EXPECT_EQ(choice.FellBack(), c.fallsBack);
        HWND shown = FindWindowExW(parent.Get(), nullptr, NativePage::kWindowClass, nullptr);
        EXPECT_EQ(shown != nullptr, c.fallsBack);
        EXPECT_EQ(browser.events == nullptr, c.fallsBack) << "the browser's page is closed";
        EXPECT_EQ(dialog.completes, 1) << "the dialog hears of one complete page";
    }
}

TEST(ControlPanelWindow, RunsModallyWithItsIconsOverItsPageOrABlankOneWhenThePathIsTooLong) {
    ComApartment apartment;
    const std::string tooLong = "C:\\" + std::string(250, 'p');
    const std::string standard =
        std::string("file://C:\\Program Files") + kSubPath + "vornixui-popup.htm";
    const struct {
        const char* programFiles;
        std::vector<const wchar_t*> clicks;
        INT_PTR result;
        std::string address;
        size_t boxes; // each saying that the path is too long
    } cases[] = {
        {nullptr, {L"ButtonOK"}, IDOK, standard, 0},
        {tooLong.c_str(), {L"Vhelp", L"ButtonCancel"}, IDCANCEL, "about:blank", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes);
        ProgramFilesOverride env(c.programFiles);
        DesktopRecorder desktop;
        AgentServer server;
        StubPage page;
        ControlPanelDialog panel(page);
        bool icons = false;
        OnNextTick tick([&] {
            icons = SendMessageW(panel.Window(), WM_GETICON, ICON_BIG, 0) &&
                    SendMessageW(panel.Window(), WM_GETICON, ICON_SMALL, 0);
            page.events->OnDocumentComplete(true);
            for (const wchar_t* id : c.clicks)
                page.events->OnElementClick(id);
        });
        EXPECT_EQ(panel.Run(nullptr), c.result);
        EXPECT_EQ(page.opens, 1);
        EXPECT_EQ(page.closes, 1);
        EXPECT_EQ(Ascii(page.address), c.address);
        EXPECT_TRUE(icons);
        EXPECT_EQ(server.log.size(), 2u + 2 * 11u) << "create, ready, and two pulls";
        ASSERT_EQ(desktop.boxTexts.size(), c.boxes);
        for (const std::string& text : desktop.boxTexts)
            EXPECT_NE(text.find("too long"), std::string::npos) << text;
    }
}

// As the program runs it: the system's browser is hosted first and, where no
// HTML engine renders, the native page takes its place inside the window.
TEST(ControlPanelWindow, HostsTheBrowserThenTheNativePageLaidOutAndEscapeCloses) {
    ComApartment apartment;
    DesktopRecorder desktop;
    AgentServer server;
    OleInitialize(nullptr);
    {
        BrowserPage browser;
        NativePage native;
        PageChoice page(browser, native, 300);
        ControlPanelDialog panel(page);
        bool browserFirst = false;
        OnNextTick tick([&] {
            browserFirst = GetWindow(panel.Window(), GW_CHILD) && !page.FellBack();
            PumpFor(600);
            HWND shown = FindWindowExW(panel.Window(), nullptr, NativePage::kWindowClass, nullptr);
            EXPECT_TRUE(shown);
            // Laid out, not piled up: every window inside the page, none on another.
            RECT area, r, overlap;
            GetWindowRect(shown, &area);
            std::vector<RECT> placed;
            for (HWND w = GetWindow(shown, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
                GetWindowRect(w, &r);
                EXPECT_TRUE(IsWindowVisible(w) && r.left >= area.left && r.top >= area.top &&
                            r.right <= area.right && r.bottom <= area.bottom)
                    << GetDlgCtrlID(w);
                for (const RECT& other : placed)
                    EXPECT_FALSE(IntersectRect(&overlap, &r, &other)) << GetDlgCtrlID(w);
                placed.push_back(r);
            }
            PostMessageW(GetDlgItem(shown, NativePage::ControlId(L"NoFixed")), WM_KEYDOWN,
                         VK_ESCAPE, 0);
            // Where Escape does nothing, OK ends the test instead.
            SetTimer(panel.Window(), 1, 3000,
                     [](HWND w, UINT, UINT_PTR, DWORD) { PostMessageW(w, WM_COMMAND, IDOK, 0); });
        });
        EXPECT_EQ(panel.Run(nullptr), IDCANCEL);
        EXPECT_TRUE(browserFirst);
    }
    OleUninitialize();
    EXPECT_TRUE(desktop.events.empty());
}

} // namespace
} // namespace vx::test
