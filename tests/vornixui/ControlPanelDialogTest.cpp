// The control panel's dialog over its native page and in-process agents:
// what it reads, shows, sends and refuses.
#include "VornixUI/ControlPanelDialog.h"
#include "VornixUI/NativePage.h"
#include "PanelFakes.h"

#include "tests/support/ProcessTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace vx::test {
namespace {

const std::vector<std::string> kReads = {
    "get Visible",       "get AudioFileName", "get MuteAudio",          "get ShowTray",
    "get AllowSameSite", "get KillFixedSize", "get AllowUserInitiated", "get NotifyOnBlock",
    "get AllowedSites",  "get BypassKeys",    "get BlockedCount"};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class ControlPanelDialogTest : public ::testing::Test {
  protected:
    // Any file the panel can open stands for a sound file: this program.
    void SetUp() override {
        char path[MAX_PATH];
        wave.assign(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
        wideWave.assign(wave.begin(), wave.end());
        parent.Reset(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 660, 480, nullptr, nullptr,
                                     nullptr, nullptr));
    }

    // Construction and a loaded page, as the running program has them;
    // configure sets up every agent this test creates.
    void Start(std::function<void(FakeAgent&)> configure = nullptr) {
        page.Close();
        dialog.reset(); // one registration of the class at a time
        server.reset();
        server = std::make_unique<AgentServer>(std::move(configure));
        ASSERT_HRESULT_SUCCEEDED(server->Registered());
        dialog = std::make_unique<ControlPanelDialog>(page);
        ASSERT_EQ(page.Open(parent.Get(), L"", dialog.get()), S_OK);
        PumpFor(20);
    }
    void Forget() {
        server->log.clear();
        desktop.events.clear();
        desktop.boxTexts.clear();
    }
    HWND Control(const wchar_t* id) const {
        return GetDlgItem(FindWindowExW(parent.Get(), nullptr, NativePage::kWindowClass, nullptr),
                          NativePage::ControlId(id));
    }
    void Click(const wchar_t* id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    bool Checked(const wchar_t* id) const {
        return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    std::wstring Text(const wchar_t* id) const {
        wchar_t text[512] = {};
        GetWindowTextW(Control(id), text, 512);
        return text;
    }
    // Every setting as the agent has it by default, then the count.
    static std::vector<std::string> PushAll(const std::string& sound, int mask, int mute = 0) {
        return {"put Visible=bool:0",
                "put AudioFileName=bstr:" + sound,
                "put MuteAudio=bool:" + std::to_string(-mute),
                "put ShowTray=bool:-1",
                "put AllowSameSite=bool:-1",
                "put KillFixedSize=bool:0",
                "put AllowUserInitiated=bool:-1",
                "put NotifyOnBlock=bool:-1",
                "put BypassKeys=i2:" + std::to_string(mask),
                "get BlockedCount"};
    }

    ComApartment apartment;
    DesktopRecorder desktop;
    std::string wave;
    const std::wstring waveName = L"vornixui_tests.exe";
    std::wstring wideWave;
    ScopedGdiLike<HWND, DestroyWindow> parent;
    std::unique_ptr<AgentServer> server;
    NativePage page;
    std::unique_ptr<ControlPanelDialog> dialog;
};

// Every setting is read before the window exists and again once the page has
// loaded; a value other than 0 and 1 is "on", never a half-set box.
TEST_F(ControlPanelDialogTest, StartUpReadsEverySettingTwiceAndShowsIt) {
    const struct {
        long allowSameSite, killFixedSize, bypassKeys, muteAudio, visible;
        std::wstring checked;
    } cases[] = {
        {1, 0, 6, 0, 0, L"Alt Shift"},
        {0, 1, 1, 1, 1, L"NoSameSite NoFixed Ctrl MuteAudio ShowDiag"},
        {1, 0, 0x7FF8, 0, 0, L""},
        {1, 0, 0x0F0D, 0, 0, L"Ctrl Shift"},
        {1, 0, 0, -1, 2, L"MuteAudio ShowDiag"},
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
            a.texts[L"AudioFileName"] = wideWave;
        });
        EXPECT_EQ(server->log, Concat({{"create", "get IsServeReady"}, kReads, kReads}));
        EXPECT_TRUE(desktop.events.empty());
        EXPECT_EQ(Text(L"NumPopups"), L"42");
        EXPECT_EQ(Text(L"FileName"), waveName);
        for (const wchar_t* id : {L"NoSameSite", L"NoFixed", L"Ctrl", L"Alt", L"Shift",
                                  L"MuteAudio", L"ShowDiag", L"Quit"}) {
            bool indeterminate = true;
            page.GetFlag(id, PageFlag::Indeterminate, &indeterminate);
            EXPECT_EQ(Checked(id), (L" " + c.checked + L" ").find(L" " + std::wstring(id) + L" ") !=
                                       std::wstring::npos)
                << Ascii(id);
            EXPECT_FALSE(indeterminate) << Ascii(id);
        }
    }
    // A page without the elements still reads the agent.
    Forget();
    StubPage bare;
    ControlPanelDialog(bare).OnDocumentComplete(true);
    EXPECT_EQ(server->log, Concat({{"create", "get IsServeReady"}, kReads, kReads}));
    EXPECT_TRUE(desktop.events.empty());
}

TEST_F(ControlPanelDialogTest, EveryClickDoesWhatItsElementStandsFor) {
    ProgramFilesOverride env("C:\\Program Files");
    const std::string help =
        "open:C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\index.htm";
    const struct {
        const wchar_t* id;
        std::vector<std::string> calls, desktopEvents;
        INT_PTR ended = 0; // 0: still running
        bool muted = false;
    } cases[] = {
        {L"ButtonOK", {}, {}, IDOK},
        {L"ButtonCancel", {}, {}, IDCANCEL},
        {L"ShowTray", {"put ShowTray=bool:0"}, {}},
        {L"MuteAudio", {"put MuteAudio=bool:-1"}, {}},
        {L"ShowDiag", {"put Visible=bool:-1"}, {}},
        {L"NoSameSite", {"put AllowSameSite=bool:0"}, {}},
        {L"NoFixed", {"put KillFixedSize=bool:-1"}, {}},
        {L"AllowClicked", {"put AllowUserInitiated=bool:0"}, {}},
        {L"NotifyBlock", {"put NotifyOnBlock=bool:0"}, {}},
        {L"Ctrl", {"put BypassKeys=i2:4"}, {}},
        {L"Alt", {"put BypassKeys=i2:7"}, {}},
        {L"Shift", {"put BypassKeys=i2:1"}, {}},
        {L"Quit", {"Quit"}, {}},
        {L"WebSite", {}, {"open:http://www.quandrel.com/"}},
        {L"Vhelp", {}, {help}},
        {L"Play", {}, {"play:" + wave}},
        {L"Play", {}, {}, 0, true},
        {L"PickFile", {}, {"pick:" + wave}},
        {L"Vabout", {}, {"about", "open:http://www.quandrel.com/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Ascii(c.id));
        Start([&](FakeAgent& a) {
            a.numbers[L"BypassKeys"] = 5;
            a.numbers[L"MuteAudio"] = c.muted;
            a.texts[L"AudioFileName"] = wideWave;
        });
        Forget();
        OnNextTick about([&] {
            desktop.events.push_back("about");
            HWND box = FindWindowW(L"#32770", nullptr);
            SendMessageW(box, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, 1000)));
            SendMessageW(box, WM_COMMAND, IDOK, 0);
        });
        Click(c.id);
        EXPECT_EQ(server->log, c.calls);
        EXPECT_EQ(desktop.events, c.desktopEvents);
        EXPECT_EQ(dialog->Ended() ? dialog->Result() : 0, c.ended);
    }
}

// What was typed into the file name is shown until the next pull but never
// sent: only a picked file becomes the sound.
TEST_F(ControlPanelDialogTest, CountClickRefreshesTheCountAndResendsEverySettingButATypedFile) {
    Start([&](FakeAgent& a) {
        a.numbers[L"BypassKeys"] = 3;
        a.texts[L"AudioFileName"] = wideWave;
    });
    server->Last().numbers[L"BlockedCount"] = 17;
    SetWindowTextW(Control(L"FileName"), L"typed.wav");
    Forget();
    Click(L"MuteAudio");
    Click(L"NumPopups");
    EXPECT_EQ(server->log, Concat({{"put MuteAudio=bool:-1"}, PushAll(wave, 3, 1)}));
    EXPECT_EQ(Text(L"NumPopups"), L"17");
    EXPECT_EQ(Text(L"FileName"), L"typed.wav");
    dialog->OnDocumentComplete(true);
    EXPECT_EQ(Text(L"FileName"), waveName);
}

TEST_F(ControlPanelDialogTest, QuitStopsTheAgentAndTheNextSettingStartsAnotherWithEverySetting) {
    const struct {
        const wchar_t* next;
        int mask;
        int mute;
    } cases[] = {{L"Quit", 1, 0}, {L"MuteAudio", 1, 1}, {L"Ctrl", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Ascii(c.next));
        Start();
        Forget();
        Click(L"Quit");
        EXPECT_EQ(server->log, std::vector<std::string>{"Quit"});
        EXPECT_TRUE(Checked(L"Quit")) << "the box stays checked";
        EXPECT_EQ(server->Last().Refs(), 1u) << "the client let go of the agent";
        Forget();
        Click(c.next);
        ASSERT_EQ(server->agents.size(), 2u);
        EXPECT_EQ(server->log,
                  Concat({{"create", "get IsServeReady"}, PushAll("", c.mask, c.mute)}));
        EXPECT_FALSE(Checked(L"Quit"));
    }
}

TEST_F(ControlPanelDialogTest, OnlyPickedWaveFilesOnThisComputerBecomeTheSound) {
    const struct {
        bool confirms;
        const wchar_t* picked;
        bool accepted;
        const char* explanation; // in the message box, or null for none
    } cases[] = {
        {true, L"C:\\Media\\CHIME.WAV", true, nullptr},
        {true, L"C:\\Media\\ding.Wav", true, nullptr},
        {true, L"C:\\Media\\song.mp3", false, nullptr},
        {true, L"C:\\Media.wav\\noextension", false, nullptr},
        {false, L"C:\\Media\\chime.wav", false, nullptr},
        // Characters the code page lacks cannot be stored for the agent.
        {true, L"C:\\Media\\\u4E2D.wav", false, "cannot store"},
        {true, L"\\\\server\\media\\chime.wav", false, "files on this computer"},
        {true, L"//server/media/chime.wav", false, "files on this computer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Ascii(c.picked));
        Start();
        Forget();
        desktop.pickConfirms = c.confirms;
        desktop.pickPath = c.picked;
        Click(L"PickFile");
        EXPECT_EQ(server->log,
                  c.accepted ? PushAll(Ascii(c.picked), 1) : std::vector<std::string>());
        EXPECT_EQ(Text(L"FileName"), c.accepted ? std::wstring(c.picked).substr(9) : L"");
        ASSERT_EQ(desktop.boxTexts.size(), c.explanation ? 1u : 0u);
        if (c.explanation) {
            EXPECT_NE(desktop.boxTexts[0].find(c.explanation), std::string::npos);
        }
    }
}

TEST_F(ControlPanelDialogTest, ASoundFileThePanelCannotOpenOrMustNotOpenIsForgotten) {
    const std::wstring cases[] = {
        L"C:\\no such folder\\gone.wav",
        L"C:\\" + std::wstring(300, L'x') + L".wav",
        L"C:\\Sounds\\\u4E2D.wav",
        L"",
        // The same file, but named as a device path would be for any device.
        L"\\\\?\\" + wideWave,
        L"\\\\.\\" + wideWave,
    };
    for (const std::wstring& path : cases) {
        SCOPED_TRACE(path.size());
        Start([&](FakeAgent& a) { a.texts[L"AudioFileName"] = path; });
        EXPECT_EQ(Text(L"FileName"), L"");
        Forget();
        Click(L"NumPopups");
        EXPECT_EQ(server->Last().texts[L"AudioFileName"], L"");
        Click(L"Play");
        EXPECT_EQ(desktop.events, std::vector<std::string>{"play:"});
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
        SCOPED_TRACE(Ascii(c.typed) + " " + Ascii(c.button));
        Start([](FakeAgent& a) { a.texts[L"AllowedSites"] = L"example.com"; });
        EXPECT_EQ(Text(L"Sites"), L"example.com");
        Forget();
        SetWindowTextW(Control(L"NewSite"), c.typed);
        Click(c.button);
        EXPECT_EQ(server->Last().texts[L"AllowedSites"], c.stored);
        EXPECT_EQ(desktop.boxTexts.size(), c.refused ? 1u : 0u);
        EXPECT_EQ(Text(L"Sites"), c.refused ? L"example.com" : c.stored);
        EXPECT_EQ(Text(L"NewSite"), c.refused ? c.typed : L"");
    }
}

TEST_F(ControlPanelDialogTest, WithoutAnAgentThePageShowsTheFallbacks) {
    fakes::ProgIdOverride absent(L"Krellin.KrellinIF.1", nullptr);
    ControlPanelDialog panel(page);
    ASSERT_EQ(page.Open(parent.Get(), L"", &panel), S_OK);
    PumpFor(20);
    // Creation once; then each read of the two pulls reports its own
    // failure, with no readiness wait.
    ASSERT_EQ(desktop.Count("box:"), 1 + 2 * static_cast<int>(kReads.size()));
    EXPECT_EQ(desktop.Count("pause:100"), 0);
    for (const wchar_t* on : {L"ShowDiag", L"MuteAudio", L"ShowTray", L"NoFixed", L"Ctrl"})
        EXPECT_TRUE(Checked(on)) << Ascii(on);
    for (const wchar_t* off : {L"NoSameSite", L"Alt", L"Shift", L"Quit"})
        EXPECT_FALSE(Checked(off)) << Ascii(off);
    EXPECT_EQ(Text(L"NumPopups"), L"0");
    EXPECT_EQ(Text(L"FileName"), L"");
}

} // namespace
} // namespace vx::test
