// How the control panel starts: its switches, where its pages lie and which
// addresses it shows, and which page it takes.
#include "VornixUI/ControlPanelApp.h"
#include "VornixUI/InstallPaths.h"
#include "VornixUI/PageChoice.h"
#include "PanelFakes.h"

#include <gtest/gtest.h>

namespace vx::test {
namespace {

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
            << c.line;
    }
}

TEST(InstallPaths, PagesLieInTheInstallFolderNeverOverflowAndOnlyTheyAreShown) {
    const std::string page = "\\Quandrel, Inc\\Vornix! Popup Blocker\\vornixui-popup.htm";
    const std::string fits = "C:\\" + std::string(MAX_PATH - 1 - 7 - page.size() - 3, 'p');
    const std::string tooLong = fits + "p", standard = "file://C:\\Program Files" + page;
    const struct {
        const char* programFiles; // null: unset
        std::string address;
    } cases[] = {
        {nullptr, standard},   {"D:\\Apps", "file://D:\\Apps" + page},
        {"", standard},        {fits.c_str(), "file://" + fits + page},
        {tooLong.c_str(), ""},
    };
    for (const auto& c : cases) {
        ProgramFiles env(c.programFiles);
        EXPECT_EQ(PageAddress(), c.address);
        EXPECT_LT(PageAddress().size(), static_cast<size_t>(MAX_PATH));
    }
    ProgramFiles huge(std::string(400, 'h').c_str());
    EXPECT_EQ(HelpPagePath(), "");
    ProgramFiles env("C:\\Program Files");
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
        EXPECT_EQ(IsPanelPage(c.url), c.page) << c.url;
        EXPECT_EQ(IsPanelAddress(c.url), c.shown) << c.url;
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

} // namespace
} // namespace vx::test
