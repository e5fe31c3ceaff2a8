// The control panel's dialog over its pages and in-process agents: what it
// reads, shows, sends and refuses; its window; its registration.
#include "VornixUI/BrowserPage.h"
#include "VornixUI/ControlPanelApp.h"
#include "VornixUI/ControlPanelDialog.h"
#include "VornixUI/PageChoice.h"
#include "PanelFakes.h"

#include "tests/support/RegistryTools.h"

#include <gtest/gtest.h>

namespace vx::test {
namespace {

const std::string kReads =
    "get Visible; get AudioFileName; get MuteAudio; get ShowTray; get AllowSameSite; "
    "get KillFixedSize; get AllowUserInitiated; get NotifyOnBlock; get AllowedSites; "
    "get BypassKeys; get BlockedCount; ";

class ControlPanelDialogTest : public ::testing::Test {
  protected:
    // Construction and a loaded page, as the running program has them;
    // configure sets up every agent this test creates.
    void Start(std::function<void(FakeAgent&)> configure = nullptr) {
        Serve(std::move(configure));
        Open();
    }
    void Serve(std::function<void(FakeAgent&)> configure = nullptr) {
        server.reset(); // one served agent class at a time
        server = std::make_unique<AgentServer>(desktop.log, std::move(configure));
    }
    void Open() {
        page.Close();
        dialog.reset(); // one registration of the class at a time
        dialog = std::make_unique<ControlPanelDialog>(page);
        ASSERT_EQ(page.Open(parent.Get(), L"", dialog.get()), S_OK);
        PumpFor(20);
    }
    HWND Control(const wchar_t* id) const {
        return GetDlgItem(FindWindowExW(parent.Get(), nullptr, NativePage::kWindowClass, nullptr),
                          NativePage::ControlId(id));
    }
    void Click(const wchar_t* id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    std::wstring Text(const wchar_t* id) const {
        wchar_t text[512] = {};
        GetWindowTextW(Control(id), text, 512);
        return text;
    }
    // The count, the sound file's name, then each box checked or half-set.
    std::wstring Shown() {
        std::wstring shown = Text(L"NumPopups") + L" " + Text(L"FileName");
        for (const wchar_t* id :
             {L"Quit", L"ShowDiag", L"MuteAudio", L"ShowTray", L"NoSameSite", L"NoFixed", L"Ctrl",
              L"Alt", L"Shift", L"AllowClicked", L"NotifyBlock"}) {
            bool half = true;
            page.GetFlag(id, PageFlag::Indeterminate, &half);
            if (half) shown += L" half-" + std::wstring(id);
            if (SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED)
                shown += L" " + std::wstring(id);
        }
        return shown;
    }
    // Every setting as the agent has it by default, then the count.
    static std::string PushAll(const std::string& sound, int mask, int mute = 0) {
        return "put Visible=0; put AudioFileName=" + sound +
               "; put MuteAudio=" + std::to_string(-mute) +
               "; put ShowTray=-1; put AllowSameSite=-1; put KillFixedSize=0; "
               "put AllowUserInitiated=-1; put NotifyOnBlock=-1; put BypassKeys=" +
               std::to_string(mask) + "; get BlockedCount; ";
    }

    ComApartment apartment;
    DesktopRecorder desktop;
    // Any file the panel can open stands for a sound file: this program.
    const std::wstring wave = BesideTest(L"vornixui_tests.exe");
    ScopedGdiLike<HWND, DestroyWindow> parent{CreateWindowExW(
        0, L"STATIC", L"", WS_POPUP, 0, 0, 660, 480, nullptr, nullptr, nullptr, nullptr)};
    std::unique_ptr<AgentServer> server;
    NativePage page;
    std::unique_ptr<ControlPanelDialog> dialog;
};

// Every setting is read before the window exists and again once the page has
// loaded; a value other than 0 and 1 is "on", never a half-set box.
TEST_F(ControlPanelDialogTest, StartUpReadsEverySettingTwiceAndShowsIt) {
    const struct {
        long allowSameSite, killFixedSize, bypassKeys, muteAudio, visible;
        std::wstring boxes;
    } cases[] = {
        {1, 0, 6, 0, 0, L" Alt Shift"},
        {0, 1, 1, 1, 1, L" ShowDiag MuteAudio NoSameSite NoFixed Ctrl"},
        {1, 0, 0x7FF8, 0, 0, L""},
        {1, 0, 0x0F0D, 0, 0, L" Ctrl Shift"},
        {1, 0, 0, -1, 2, L" ShowDiag MuteAudio"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bypassKeys);
        Start([&](FakeAgent& a) {
            a.numbers = {{L"AllowSameSite", c.allowSameSite},
                         {L"KillFixedSize", c.killFixedSize},
                         {L"BypassKeys", c.bypassKeys},
                         {L"MuteAudio", c.muteAudio},
                         {L"Visible", c.visible},
                         {L"BlockedCount", 42}};
            a.texts[L"AudioFileName"] = wave;
        });
        EXPECT_EQ(desktop.log, "create; get IsServeReady; " + kReads + kReads);
        EXPECT_EQ(Shown(), L"42 vornixui_tests.exe" + c.boxes);
        desktop.Forget();
    }
    // A page without the elements still reads the agent.
    StubPage bare;
    ControlPanelDialog(bare).OnDocumentComplete(true);
    EXPECT_EQ(desktop.log, "create; get IsServeReady; " + kReads + kReads);
    // Without an agent its creation and each read report their own failure,
    // with no readiness wait, and the fallbacks show.
    server.reset();
    fakes::ProgIdOverride absent(L"Krellin.KrellinIF.1", nullptr);
    desktop.Forget();
    Open();
    EXPECT_EQ(desktop.boxTexts.size(), 1 + 2 * 11u);
    EXPECT_EQ(desktop.log.find("pause"), std::string::npos);
    EXPECT_EQ(Shown(), L"0  ShowDiag MuteAudio ShowTray NoFixed Ctrl AllowClicked NotifyBlock");
}

TEST_F(ControlPanelDialogTest, EveryClickDoesWhatItsElementStandsFor) {
    ProgramFiles env("C:\\Program Files");
    const std::string site = "open:http://www.quandrel.com/; ", sound = NarrowText(wave.c_str());
    const struct {
        const wchar_t* id;
        std::string log;
        INT_PTR ended = 0; // 0: still running
        bool muted = false;
    } cases[] = {
        {L"ButtonOK", "", IDOK},
        {L"ButtonCancel", "", IDCANCEL},
        {L"ShowTray", "put ShowTray=0; "},
        {L"MuteAudio", "put MuteAudio=-1; "},
        {L"ShowDiag", "put Visible=-1; "},
        {L"NoSameSite", "put AllowSameSite=0; "},
        {L"NoFixed", "put KillFixedSize=-1; "},
        {L"AllowClicked", "put AllowUserInitiated=0; "},
        {L"NotifyBlock", "put NotifyOnBlock=0; "},
        {L"Ctrl", "put BypassKeys=4; "},
        {L"Alt", "put BypassKeys=7; "},
        {L"Shift", "put BypassKeys=1; "},
        {L"Quit", "Quit; "},
        {L"WebSite", site},
        {L"Vhelp", "open:C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\index.htm; "},
        {L"Play", "play:" + sound + "; "},
        {L"Play", "", 0, true},
        {L"PickFile", "pick:" + sound + "; "},
        {L"Vabout", "about; " + site},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Start([&](FakeAgent& a) {
            a.numbers[L"BypassKeys"] = 5;
            a.numbers[L"MuteAudio"] = c.muted;
            a.texts[L"AudioFileName"] = wave;
        });
        desktop.Forget();
        OnNextTick about([&] {
            desktop.log += "about; ";
            HWND box = FindWindowW(L"#32770", nullptr);
            SendMessageW(box, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, 1000)));
            SendMessageW(box, WM_COMMAND, IDOK, 0);
        });
        Click(c.id);
        EXPECT_EQ(desktop.log, c.log);
        EXPECT_EQ(dialog->Ended() ? dialog->Result() : 0, c.ended);
    }
}

// What was typed into the file name is shown until the next pull but never
// sent: only a picked file becomes the sound.
TEST_F(ControlPanelDialogTest, CountClickRefreshesTheCountAndResendsEverySettingButATypedFile) {
    Start([&](FakeAgent& a) {
        a.numbers[L"BypassKeys"] = 3;
        a.texts[L"AudioFileName"] = wave;
    });
    server->Last().numbers[L"BlockedCount"] = 17;
    SetWindowTextW(Control(L"FileName"), L"typed.wav");
    desktop.Forget();
    Click(L"MuteAudio");
    Click(L"NumPopups");
    EXPECT_EQ(desktop.log, "put MuteAudio=-1; " + PushAll(NarrowText(wave.c_str()), 3, 1));
    EXPECT_EQ(Shown(), L"17 typed.wav MuteAudio ShowTray Ctrl Alt AllowClicked NotifyBlock");
    dialog->OnDocumentComplete(true);
    EXPECT_EQ(Text(L"FileName"), L"vornixui_tests.exe");
}

TEST_F(ControlPanelDialogTest, QuitStopsTheAgentAndTheNextSettingStartsAnotherWithEverySetting) {
    const struct {
        const wchar_t* next;
        int mask, mute;
    } cases[] = {{L"Quit", 1, 0}, {L"MuteAudio", 1, 1}, {L"Ctrl", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.next);
        Start();
        desktop.Forget();
        Click(L"Quit");
        EXPECT_EQ(Shown(), L"0  Quit ShowTray Ctrl AllowClicked NotifyBlock") << "stays checked";
        EXPECT_EQ(server->Last().Refs(), 1u) << "the client let go of the agent";
        Click(c.next);
        EXPECT_EQ(desktop.log, "Quit; create; get IsServeReady; " + PushAll("", c.mask, c.mute));
        EXPECT_EQ(Shown().find(L"Quit"), std::wstring::npos);
    }
}

// A sound file the panel cannot open, or must not, is forgotten; only picked
// wave files on this computer become the sound.
TEST_F(ControlPanelDialogTest, OnlyOpenableWaveFilesOnThisComputerAreTheSound) {
    const struct {
        std::wstring stored;
        std::optional<std::wstring> picked; // none: the pick is cancelled
        std::string sound;                  // what the panel then plays and sends
        const char* explanation = nullptr;  // in the message box, if any
    } cases[] = {
        {L"C:\\no such folder\\gone.wav", {}, ""},
        {L"C:\\" + std::wstring(300, L'x') + L".wav", {}, ""},
        {L"C:\\Sounds\\\u4E2D.wav", {}, ""},
        // The same file, but named as a device path would be for any device.
        {L"\\\\?\\" + wave, {}, ""},
        {L"\\\\.\\" + wave, {}, ""},
        {L"", L"C:\\Media\\CHIME.WAV", "C:\\Media\\CHIME.WAV"},
        {L"", L"C:\\Media\\ding.Wav", "C:\\Media\\ding.Wav"},
        {L"", L"C:\\Media\\song.mp3", ""},
        {L"", L"C:\\Media.wav\\noextension", ""},
        // Characters the code page lacks cannot be stored for the agent.
        {L"", L"C:\\Media\\\u4E2D.wav", "", "cannot store"},
        {L"", L"\\\\server\\media\\chime.wav", "", "files on this computer"},
        {L"", L"//server/media/chime.wav", "", "files on this computer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored + c.picked.value_or(L""));
        Start([&](FakeAgent& a) { a.texts[L"AudioFileName"] = c.stored; });
        desktop.Forget();
        desktop.picked = c.picked;
        Click(L"PickFile");
        Click(L"Play");
        EXPECT_EQ(desktop.log, "pick:; " + (c.sound.empty() ? "" : PushAll(c.sound, 1)) +
                                   (c.explanation ? "box:Vornix!; " : "") + "play:" + c.sound +
                                   "; ");
        EXPECT_EQ(NarrowText(Text(L"FileName").c_str()), c.sound.substr(c.sound.rfind('\\') + 1));
        if (c.explanation) {
            EXPECT_NE(desktop.boxTexts[0].find(c.explanation), std::string::npos);
        }
    }
}

// The list is read again before each change, so that a site added meanwhile
// (from the tray) is kept; what the user typed is refused unless it names a
// site.
TEST_F(ControlPanelDialogTest, AllowedSitesAreAddedAndRemovedThroughTheAgent) {
    const struct {
        const wchar_t *typed, *button, *stored;
        bool refused;
    } cases[] = {
        {L" HTTP://News.Example.ORG:80/page ", L"AddSite", L"example.com\r\nnews.example.org",
         false},
        {L"EXAMPLE.com", L"AddSite", L"example.com", false},
        {L"example.com", L"RemoveSite", L"", false},
        {L"ads.other.net", L"RemoveSite", L"example.com", false},
        {L"bad site!", L"AddSite", L"example.com", true},
        {L"", L"RemoveSite", L"example.com", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::wstring(c.typed) + c.button);
        Start([](FakeAgent& a) { a.texts[L"AllowedSites"] = L"example.com"; });
        EXPECT_EQ(Text(L"Sites"), L"example.com");
        desktop.Forget();
        SetWindowTextW(Control(L"NewSite"), c.typed);
        Click(c.button);
        EXPECT_EQ(server->Last().texts[L"AllowedSites"], c.stored);
        EXPECT_EQ(desktop.boxTexts.size(), c.refused ? 1u : 0u);
        EXPECT_EQ(Text(L"Sites"), c.refused ? L"example.com" : c.stored);
        EXPECT_EQ(Text(L"NewSite"), c.refused ? c.typed : L"");
    }
}

// The real program registers and unregisters; embedded (started by COM) it
// shows nothing, creates no client and registers nothing.
TEST_F(ControlPanelDialogTest, TheProgramRegistersAndUnregistersButNotWhenEmbedded) {
    const wchar_t kAppIdKey[] = L"AppID\\{1F182AC9-519F-4D3F-A5C1-2ED546A9C7A3}";
    const wchar_t kTypeLibKey[] = L"TypeLib\\{574E178F-24FD-44B4-BDCC-4A8013185C1B}\\1.0";
    const std::wstring program = Quoted(BesideTest(L"VornixUI.exe"));
    EXPECT_EQ(RunAndWait(program + L" -REGSERVER"), 0u);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, L"AppID\\VornixUI.EXE", L"AppID"),
              std::wstring(kAppIdKey).substr(6));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    EXPECT_EQ(RunAndWait(program + L" /unregserver"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    Serve();
    for (const wchar_t* line : {L"VornixUI.exe /Embedding", L"VornixUI.exe -automation",
                                L"VornixUI.exe /embedding /regserver"}) {
        EXPECT_EQ(ControlPanelApp().Run(line), 0);
        EXPECT_EQ(desktop.log, "") << line;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey)) << line;
    }
}

TEST_F(ControlPanelDialogTest, RunsModallyWithItsIconsOverItsPageOrABlankOneWhenThePathIsTooLong) {
    const std::string tooLong = "C:\\" + std::string(250, 'p');
    const struct {
        const char* programFiles;
        std::vector<const wchar_t*> clicks;
        INT_PTR result;
        std::wstring address;
        std::string box = ""; // saying that the path is too long
    } cases[] = {
        {nullptr,
         {L"ButtonOK"},
         IDOK,
         L"file://C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\vornixui-popup.htm"},
        {tooLong.c_str(), {L"Vhelp", L"ButtonCancel"}, IDCANCEL, L"about:blank", "box:Vornix!; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        ProgramFiles env(c.programFiles);
        Serve();
        desktop.Forget();
        StubPage stub;
        ControlPanelDialog panel(stub);
        bool icons = false;
        OnNextTick tick([&] {
            icons = SendMessageW(panel.Window(), WM_GETICON, ICON_BIG, 0) &&
                    SendMessageW(panel.Window(), WM_GETICON, ICON_SMALL, 0);
            stub.events->OnDocumentComplete(true);
            for (const wchar_t* id : c.clicks)
                stub.events->OnElementClick(id);
        });
        EXPECT_EQ(panel.Run(nullptr), c.result);
        EXPECT_EQ(stub.address, c.address);
        EXPECT_EQ(stub.opens, 1);
        EXPECT_EQ(stub.closes, 1);
        EXPECT_TRUE(icons);
        EXPECT_EQ(desktop.log, "create; get IsServeReady; " + kReads + c.box + kReads + c.box);
        for (const std::string& text : desktop.boxTexts)
            EXPECT_NE(text.find("too long"), std::string::npos) << text;
    }
}

// As the program runs it: the system's browser is hosted first and, where no
// HTML engine renders, the native page takes its place inside the window.
TEST_F(ControlPanelDialogTest, HostsTheBrowserThenTheNativePageLaidOutAndEscapeCloses) {
    Serve();
    OleInitialize(nullptr);
    {
        BrowserPage browser;
        NativePage native;
        PageChoice choice(browser, native, 300);
        ControlPanelDialog panel(choice);
        bool browserFirst = false;
        OnNextTick tick([&] {
            browserFirst = GetWindow(panel.Window(), GW_CHILD) && !choice.FellBack();
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
    EXPECT_EQ(desktop.log, "create; get IsServeReady; " + kReads + kReads);
}

} // namespace
} // namespace vx::test
