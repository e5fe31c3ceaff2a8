#include "ControlPanelDialog.h"
#include "PanelFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace vx::test {
namespace {

const std::vector<std::string> kEightReads = {
    "get Visible",       "get AudioFileName", "get MuteAudio",  "get ShowTray",
    "get AllowSameSite", "get KillFixedSize", "get BypassKeys", "get BlockedCount"};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A wave file that exists for the test's duration.
class TempWave {
  public:
    TempWave() {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        path = std::string(folder) + "vornix test chime.wav";
        FILE* f = fopen(path.c_str(), "wb");
        if (f) {
            fputs("RIFF", f);
            fclose(f);
        }
    }
    ~TempWave() { DeleteFileA(path.c_str()); }
    std::string path;
};

class ControlPanelDialogTest : public ::testing::Test {
  protected:
    ComApartment apartment;
    DesktopRecorder desktop;
    TempWave wave;
    std::unique_ptr<AgentServer> server;
    ScriptedPage page;
    std::unique_ptr<ControlPanelDialog> dialog;

    void SetUp() override { page.elements = ScriptedPage::ControlPanelElements(); }

    // Construction and a loaded page, as the running program has them;
    // configure sets up every agent this test creates.
    void Start(std::function<void(FakeAgent&)> configure = nullptr) {
        // One registration of the class at a time.
        dialog.reset();
        server.reset();
        server = std::make_unique<AgentServer>(std::move(configure));
        ASSERT_HRESULT_SUCCEEDED(server->Registered());
        dialog = std::make_unique<ControlPanelDialog>(page);
        page.Open(nullptr, L"", dialog.get());
        page.CompleteDocument();
    }
    void Forget() {
        server->log.clear();
        desktop.events.clear();
    }
    std::vector<std::string> PushAll(const std::string& sound, int mask) const {
        return {"put Visible=bool:" + std::string(page.Checked(L"ShowDiag") ? "-1" : "0"),
                "put AudioFileName=bstr:" + sound,
                "put MuteAudio=bool:" + std::string(page.Checked(L"MuteAudio") ? "-1" : "0"),
                "put ShowTray=bool:" + std::string(page.Checked(L"ShowTray") ? "-1" : "0"),
                "put AllowSameSite=bool:" + std::string(page.Checked(L"NoSameSite") ? "0" : "-1"),
                "put KillFixedSize=bool:" + std::string(page.Checked(L"NoFixed") ? "-1" : "0"),
                "put BypassKeys=i2:" + std::to_string(mask),
                "get BlockedCount"};
    }
};

TEST_F(ControlPanelDialogTest, StartUpReadsEverythingBeforeTheWindowAndAgainWhenThePageIsLoaded) {
    Start([&](FakeAgent& a) {
        a.numbers[L"Visible"] = 1;
        a.numbers[L"BlockedCount"] = 42;
        a.audioFileName = std::wstring(wave.path.begin(), wave.path.end());
    });
    EXPECT_EQ(server->log, Concat({{"create", "get IsServeReady"}, kEightReads, kEightReads}));
    EXPECT_TRUE(desktop.events.empty());
    EXPECT_EQ(page.InnerText(L"NumPopups"), L"42");
    EXPECT_EQ(page.Value(L"FileName"), L"vornix test chime.wav");
    EXPECT_TRUE(page.Checked(L"ShowDiag"));
    EXPECT_FALSE(page.Checked(L"Quit"));
    for (const auto& e : page.elements) {
        const bool clickable = e.first != L"FileName";
        EXPECT_EQ(e.second.clickConnected, clickable) << Ascii(e.first);
    }
}

TEST_F(ControlPanelDialogTest, AgentValuesShowOnThePage) {
    struct Case {
        long allowSameSite, killFixedSize, bypassKeys, muteAudio, visible;
        bool noSameSite, noFixed, ctrl, alt, shift, mute, diag;
    };
    const Case cases[] = {
        {1, 0, 6, 0, 0, false, false, false, true, true, false, false},
        {0, 1, 1, 1, 1, true, true, true, false, false, true, true},
        {1, 0, 0x7FF8, 0, 0, false, false, false, false, false, false, false},
        {1, 0, 0x0F0D, 0, 0, false, false, true, false, true, false, false},
        // A value other than 0 and 1 is "on", never a half-set box.
        {1, 0, 0, -1, 2, false, false, false, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bypassKeys);
        Start([&](FakeAgent& a) {
            a.numbers[L"AllowSameSite"] = c.allowSameSite;
            a.numbers[L"KillFixedSize"] = c.killFixedSize;
            a.numbers[L"BypassKeys"] = c.bypassKeys;
            a.numbers[L"MuteAudio"] = c.muteAudio;
            a.numbers[L"Visible"] = c.visible;
        });
        EXPECT_EQ(page.Checked(L"NoSameSite"), c.noSameSite);
        EXPECT_EQ(page.Checked(L"NoFixed"), c.noFixed);
        EXPECT_EQ(page.Checked(L"Ctrl"), c.ctrl);
        EXPECT_EQ(page.Checked(L"Alt"), c.alt);
        EXPECT_EQ(page.Checked(L"Shift"), c.shift);
        EXPECT_EQ(page.Checked(L"MuteAudio"), c.mute);
        EXPECT_EQ(page.Checked(L"ShowDiag"), c.diag);
        for (const auto& e : page.elements)
            EXPECT_FALSE(e.second.indeterminate);
    }
}

TEST_F(ControlPanelDialogTest, EveryClickDoesWhatItsElementStandsFor) {
    ProgramFilesOverride env("C:\\Program Files");
    struct Case {
        const wchar_t* id;
        std::function<void(FakeAgent&)> agent;
        std::vector<std::string> calls;
        std::vector<std::string> desktopEvents;
        INT_PTR ended; // 0: still running
    };
    const std::string sound = wave.path;
    const std::wstring wideSound(sound.begin(), sound.end());
    auto withSound = [&](FakeAgent& a) { a.audioFileName = wideSound; };
    auto keys = [](long mask) { return [mask](FakeAgent& a) { a.numbers[L"BypassKeys"] = mask; }; };
    auto muted = [&](FakeAgent& a) {
        withSound(a);
        a.numbers[L"MuteAudio"] = 1;
    };
    const std::string help =
        "open:C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\index.htm";
    // clang-format off
    const Case cases[] = {
        {L"ButtonOK",     nullptr,   {}, {}, IDOK},
        {L"ButtonCancel", nullptr,   {}, {}, IDCANCEL},
        {L"ShowTray",     nullptr,   {"put ShowTray=bool:0"}, {}, 0},
        {L"MuteAudio",    nullptr,   {"put MuteAudio=bool:-1"}, {}, 0},
        {L"ShowDiag",     nullptr,   {"put Visible=bool:-1"}, {}, 0},
        {L"NoSameSite",   nullptr,   {"put AllowSameSite=bool:0"}, {}, 0},
        {L"NoFixed",      nullptr,   {"put KillFixedSize=bool:-1"}, {}, 0},
        {L"Ctrl",         keys(4),   {"put BypassKeys=i2:5"}, {}, 0},
        {L"Alt",          keys(5),   {"put BypassKeys=i2:7"}, {}, 0},
        {L"Shift",        keys(4),   {"put BypassKeys=i2:0"}, {}, 0},
        {L"Quit",         nullptr,   {"Quit"}, {}, 0},
        {L"WebSite",      nullptr,   {}, {"open:http://www.quandrel.com/"}, 0},
        {L"Vhelp",        nullptr,   {}, {help}, 0},
        {L"Play",         withSound, {}, {"play:" + sound}, 0},
        {L"Play",         muted,     {}, {}, 0},
        {L"PickFile",     withSound, {}, {"pick:" + sound}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(Ascii(c.id));
        page.elements = ScriptedPage::ControlPanelElements();
        Start(c.agent);
        Forget();
        ASSERT_TRUE(page.Click(c.id));
        EXPECT_EQ(server->log, c.calls);
        EXPECT_EQ(desktop.events, c.desktopEvents);
        EXPECT_EQ(dialog->Ended() ? dialog->Result() : 0, c.ended);
    }
}

TEST_F(ControlPanelDialogTest, CountClickRefreshesTheCountAndResendsEverySetting) {
    Start([&](FakeAgent& a) {
        a.numbers[L"BypassKeys"] = 3;
        a.audioFileName = std::wstring(wave.path.begin(), wave.path.end());
    });
    server->Last().numbers[L"BlockedCount"] = 17;
    Forget();
    page.Click(L"NumPopups");
    EXPECT_EQ(server->log, PushAll(wave.path, 3));
    EXPECT_EQ(page.InnerText(L"NumPopups"), L"17");
}

TEST_F(ControlPanelDialogTest, QuitStopsTheAgentAndTheNextSettingStartsAnotherWithEverySetting) {
    struct Case {
        const wchar_t* next;
        std::string changed;
    };
    const Case cases[] = {
        {L"Quit", ""}, {L"MuteAudio", "MuteAudio=bool:-1"}, {L"Ctrl", "BypassKeys=i2:0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Ascii(c.next));
        page.elements = ScriptedPage::ControlPanelElements();
        Start();
        Forget();
        page.Click(L"Quit");
        EXPECT_EQ(server->log, std::vector<std::string>{"Quit"});
        EXPECT_TRUE(page.Checked(L"Quit")) << "the box stays checked";
        EXPECT_EQ(server->Last().Refs(), 1u) << "the client let go of the agent";

        Forget();
        page.Click(c.next);
        ASSERT_EQ(server->agents.size(), 2u);
        int mask = (page.Checked(L"Ctrl") ? 1 : 0) + (page.Checked(L"Alt") ? 2 : 0) +
                   (page.Checked(L"Shift") ? 4 : 0);
        EXPECT_EQ(server->log, Concat({{"create", "get IsServeReady"}, PushAll("", mask)}));
        EXPECT_FALSE(page.Checked(L"Quit"));
        if (!c.changed.empty()) {
            EXPECT_NE(std::find(server->log.begin(), server->log.end(), "put " + c.changed),
                      server->log.end());
        }
    }
}

TEST_F(ControlPanelDialogTest, OnlyPickedWaveFilesOnThisComputerBecomeTheSound) {
    struct Case {
        bool confirms;
        const wchar_t* picked;
        bool accepted;
        const char* explanation; // in the message box, or null for none
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(Ascii(c.picked));
        page.elements = ScriptedPage::ControlPanelElements();
        Start();
        Forget();
        desktop.boxTexts.clear();
        desktop.pickConfirms = c.confirms;
        desktop.pickPath = c.picked;
        page.Click(L"PickFile");
        if (c.accepted) {
            const std::string path = Ascii(c.picked);
            EXPECT_EQ(server->log, PushAll(path, 1));
            EXPECT_EQ(page.Value(L"FileName"), std::wstring(c.picked).substr(9));
        } else {
            EXPECT_TRUE(server->log.empty());
            EXPECT_EQ(page.Value(L"FileName"), L"");
        }
        ASSERT_EQ(desktop.boxTexts.size(), c.explanation ? 1u : 0u);
        if (c.explanation) {
            EXPECT_NE(desktop.boxTexts[0].find(c.explanation), std::string::npos);
        }
    }
}

TEST_F(ControlPanelDialogTest, TypedFileNameIsNeverSent) {
    Start(
        [&](FakeAgent& a) { a.audioFileName = std::wstring(wave.path.begin(), wave.path.end()); });
    page.elements[L"FileName"].value = L"typed.wav";
    Forget();
    page.Click(L"MuteAudio");
    page.Click(L"NumPopups");
    EXPECT_EQ(server->Last().audioFileName, std::wstring(wave.path.begin(), wave.path.end()));
    EXPECT_EQ(page.Value(L"FileName"), L"typed.wav") << "kept until the next pull";
    page.CompleteDocument();
    EXPECT_EQ(page.Value(L"FileName"), L"vornix test chime.wav");
}

TEST_F(ControlPanelDialogTest, ASoundFileThePanelCannotOpenOrMustNotOpenIsForgotten) {
    const std::wstring local(wave.path.begin(), wave.path.end());
    const std::wstring cases[] = {
        L"C:\\no such folder\\gone.wav",
        L"C:\\" + std::wstring(300, L'x') + L".wav",
        L"C:\\Sounds\\\u4E2D.wav",
        L"",
        // The same file, but named as a device path would be for any device.
        L"\\\\?\\" + local,
        L"\\\\.\\" + local,
    };
    for (const std::wstring& path : cases) {
        SCOPED_TRACE(path.size());
        page.elements = ScriptedPage::ControlPanelElements();
        Start([&](FakeAgent& a) { a.audioFileName = path; });
        EXPECT_EQ(page.Value(L"FileName"), L"");
        Forget();
        page.Click(L"NumPopups");
        EXPECT_EQ(server->Last().audioFileName, L"");
        page.Click(L"Play");
        EXPECT_EQ(desktop.events, std::vector<std::string>{"play:"});
    }
}

TEST_F(ControlPanelDialogTest, WithoutAnAgentThePageShowsTheFallbacks) {
    NoAgent absent;
    ControlPanelDialog panel(page);
    page.Open(nullptr, L"", &panel);
    page.CompleteDocument();
    const std::vector<std::string> captions = desktop.Captions();
    // Creation once; then each of the sixteen reads reports its own failure,
    // with no readiness wait.
    ASSERT_EQ(captions.size(), 1u + 16);
    EXPECT_EQ(captions[0], "VornixUI unexpected creation error");
    EXPECT_EQ(captions[1], "VornixUI unexpected invoke error GV");
    EXPECT_EQ(captions.back(), "VornixUI unexpected invoke error GBC");
    EXPECT_EQ(desktop.Count("pause:100"), 0);
    for (const wchar_t* on : {L"ShowDiag", L"MuteAudio", L"ShowTray", L"NoFixed", L"Ctrl"})
        EXPECT_TRUE(page.Checked(on)) << Ascii(on);
    for (const wchar_t* off : {L"NoSameSite", L"Alt", L"Shift", L"Quit"})
        EXPECT_FALSE(page.Checked(off)) << Ascii(off);
    EXPECT_EQ(page.InnerText(L"NumPopups"), L"0");
    EXPECT_EQ(page.Value(L"FileName"), L"");
}

TEST_F(ControlPanelDialogTest, APageWithoutTheElementsStillReadsTheAgent) {
    page.elements.clear();
    Start();
    EXPECT_EQ(server->log, Concat({{"create", "get IsServeReady"}, kEightReads, kEightReads}));
    EXPECT_TRUE(desktop.events.empty());
    EXPECT_FALSE(page.Click(L"ButtonOK"));
}

} // namespace
} // namespace vx::test
