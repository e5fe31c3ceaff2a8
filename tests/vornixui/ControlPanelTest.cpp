#include "VornixUI/BrowserPage.h"
#include "VornixUI/ControlPanelApp.h"
#include "VornixUI/ControlPanelDialog.h"
#include "VornixUI/DesktopCalls.h"
#include "VornixUI/InstallPaths.h"
#include "VornixUI/NativePage.h"
#include "VornixUI/PageChoice.h"
#include "Krellin.h"
#include "common/TextForms.h"

#include "tests/browserdouble/NamedDispatch.h"
#include "tests/fakes/InProcessClass.h"
#include "tests/support/ProcessTools.h"
#include "tests/support/RegistryTools.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace vx::test {
namespace {

using browserdouble::Call;
using browserdouble::Member;

class FakeAgent final : public browserdouble::NamedDispatch<FakeAgent, IDispatch> {
  public:
    static const Member<FakeAgent> kMembers[];
    explicit FakeAgent(std::string* log) : log_(*log) {}

    // From this IsServeReady query on, readyValue is answered; 0: never.
    int readyAt = 1;
    long readyValue = 1;
    std::map<std::wstring, long> numbers = {
        {L"Visible", 0},    {L"ShowTray", 1},           {L"AllowSameSite", 1},
        {L"BypassKeys", 1}, {L"AllowUserInitiated", 1}, {L"NotifyOnBlock", 1}};
    std::map<std::wstring, std::wstring> texts = {{L"AudioFileName", L""}, {L"AllowedSites", L""}};
    bool quit = false;
    ULONG Refs() const { return RefCount(); }

    // The panel may use no name that the agent's own type library lacks.
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override {
        static const ComPtr<ITypeInfo> agent = [] {
            ComPtr<ITypeLib> library;
            ComPtr<ITypeInfo> found;
            if (SUCCEEDED(
                    LoadTypeLibEx(BesideTest(L"Krellin.exe").c_str(), REGKIND_NONE, library.Put())))
                library->GetTypeInfoOfGuid(IID_IKrellinIF2, found.Put());
            return found;
        }();
        if (!agent || FAILED(agent->GetIDsOfNames(names, count, ids))) return DISP_E_UNKNOWNNAME;
        return NamedDispatch::GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        std::wstring line = NameOf(id) ? NameOf(id) : L"?";
        Call call(flags, params, nullptr);
        if (call.IsPut()) line = L"put " + line + L"=" + call.Arg<std::wstring>(0);
        if (flags == DISPATCH_PROPERTYGET) line = L"get " + line;
        log_ += NarrowText(line.c_str()) + "; ";
        if (quit) return RPC_E_DISCONNECTED;
        HRESULT hr = NamedDispatch::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
        // The agent declares the bypass mask a short.
        if (SUCCEEDED(hr) && line == L"get BypassKeys") VariantChangeType(result, result, 0, VT_I2);
        return hr;
    }
    static Member<FakeAgent> Named(const wchar_t* name) {
        return {name, [name](FakeAgent& a, Call& c) { return a.Answer(name, c); }};
    }

  private:
    HRESULT Answer(const std::wstring& name, Call& c) {
        if (name == L"IsServeReady")
            return c.Return(readyAt > 0 && ++queries_ >= readyAt ? readyValue : 0L);
        if (name == L"Quit")
            quit = true;
        else if (c.IsPut() && texts.count(name))
            texts[name] = c.Arg<std::wstring>(0);
        else if (c.IsPut())
            numbers[name] = c.Arg<LONG>(0);
        else
            return texts.count(name) ? c.Return(texts[name]) : c.Return(numbers[name]);
        return S_OK;
    }

    std::string& log_;
    int queries_ = 0;
};

// clang-format off
inline const Member<FakeAgent> FakeAgent::kMembers[] = {
    Named(L"IsServeReady"), Named(L"Quit"), Named(L"Visible"), Named(L"BlockedCount"),
    Named(L"MuteAudio"), Named(L"ShowTray"), Named(L"AllowSameSite"), Named(L"KillFixedSize"),
    Named(L"BypassKeys"), Named(L"AllowUserInitiated"), Named(L"NotifyOnBlock"),
    Named(L"AudioFileName"), Named(L"AllowedSites"), {}};
// clang-format on

class StubPage : public NativePage {
  public:
    explicit StubPage(std::string& log) : log_(log) {}
    PageEvents* events = nullptr;
    HRESULT openResult = S_OK;

    HRESULT Open(HWND, const std::wstring& url, PageEvents* listener) override {
        log_ += "open " + NarrowText(url.c_str()) + "; ";
        events = listener;
        return openResult;
    }
    void Close() override {
        log_ += "close; ";
        events = nullptr;
    }

  private:
    std::string& log_;
};

// A modal loop that never starts leaves no script behind for the next test.
class OnNextTick {
  public:
    explicit OnNextTick(std::function<void()> script) {
        script_ = std::move(script);
        id_ = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (auto script = std::exchange(script_, nullptr)) script();
        });
    }
    ~OnNextTick() {
        KillTimer(nullptr, id_);
        script_ = nullptr;
    }

  private:
    static inline std::function<void()> script_;
    UINT_PTR id_;
};

const std::string kPage = "\\Quandrel, Inc\\Vornix! Popup Blocker\\vornixui-popup.htm";
const std::string kReads =
    "get Visible; get AudioFileName; get MuteAudio; get ShowTray; get AllowSameSite; "
    "get KillFixedSize; get AllowUserInitiated; get NotifyOnBlock; get AllowedSites; "
    "get BypassKeys; get BlockedCount; ";

class ControlPanelTest : public ::testing::Test {
  protected:
    ControlPanelTest() {
        current_ = this;
        Desktop() = {
            [](HWND, const char* text, const char* caption, UINT) {
                current_->log += std::string("box:") + caption + "; ";
                current_->boxTexts.push_back(text);
                return IDOK;
            },
            [](DWORD ms) { current_->log += "pause:" + std::to_string(ms) + "; "; },
            [](HWND, const char* target) { current_->log += std::string("open:") + target + "; "; },
            [](const char* path) { current_->log += std::string("play:") + path + "; "; },
            [](HWND, const std::wstring& initial, std::wstring* chosen) {
                current_->log += "pick:" + NarrowText(initial.c_str()) + "; ";
                if (current_->picked) *chosen = *current_->picked;
                return current_->picked.has_value();
            },
        };
    }
    ~ControlPanelTest() override { Desktop() = saved_; }
    void Forget() {
        log.clear();
        boxTexts.clear();
    }
    void Serve(std::function<void(FakeAgent&)> configure = nullptr) {
        agents.clear();
        served.emplace(L"Krellin.KrellinIF.1", CLSID_KrellinIF,
                       CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                       [this, configure](REFIID riid, void** ppv) {
                           log += "create; ";
                           agents.emplace_back(new FakeAgent(&log));
                           if (configure) configure(Agent());
                           return Agent().QueryInterface(riid, ppv);
                       });
    }
    FakeAgent& Agent() { return *agents.back().Get(); }
    void Open() {
        page.Close();
        dialog.emplace(page);
        ASSERT_EQ(page.Open(parent.Get(), L"", &*dialog), S_OK);
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
    static std::string PushAll(const std::string& sound, int mask, int mute = 0) {
        return "put Visible=0; put AudioFileName=" + sound +
               "; put MuteAudio=" + std::to_string(-mute) +
               "; put ShowTray=-1; put AllowSameSite=-1; put KillFixedSize=0; "
               "put AllowUserInitiated=-1; put NotifyOnBlock=-1; put BypassKeys=" +
               std::to_string(mask) + "; get BlockedCount; ";
    }

    static inline ControlPanelTest* current_ = nullptr;
    const DesktopCalls saved_ = Desktop();
    std::string log;
    std::vector<std::string> boxTexts;
    std::optional<std::wstring> picked; // what the next file pick answers; none: cancelled
    ComApartment apartment;
    // Any file the panel can open stands for a sound file: this program.
    const std::wstring wave = BesideTest(L"vornixui_tests.exe");
    ScopedGdiLike<HWND, DestroyWindow> parent{CreateWindowExW(
        0, L"STATIC", L"", WS_POPUP, 0, 0, 660, 480, nullptr, nullptr, nullptr, nullptr)};
    std::vector<ComPtr<FakeAgent>> agents;
    std::optional<fakes::InProcessClass> served;
    NativePage page;
    std::optional<ControlPanelDialog> dialog;
};

// A value other than 0 and 1 is "on", never a half-set box.
TEST_F(ControlPanelTest, StartUpReadsEverySettingTwiceAndShowsIt) {
    const struct {
        std::map<std::wstring, long> numbers; // the others are 0
        std::wstring boxes;
    } cases[] = {
        {{{L"AllowSameSite", 1}, {L"BypassKeys", 6}}, L" Alt Shift"},
        {{{L"KillFixedSize", 1}, {L"BypassKeys", 1}, {L"MuteAudio", 1}, {L"Visible", 1}},
         L" ShowDiag MuteAudio NoSameSite NoFixed Ctrl"},
        {{{L"AllowSameSite", 1}, {L"BypassKeys", 0x0F0D}}, L" Ctrl Shift"},
        {{{L"AllowSameSite", 1}, {L"MuteAudio", -1}, {L"Visible", 2}}, L" ShowDiag MuteAudio"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes);
        Serve([&](FakeAgent& a) {
            a.numbers = c.numbers;
            a.numbers[L"BlockedCount"] = 42;
            a.texts[L"AudioFileName"] = wave;
        });
        Open();
        EXPECT_EQ(log, "create; get IsServeReady; " + kReads + kReads);
        EXPECT_EQ(Shown(), L"42 vornixui_tests.exe" + c.boxes);
        Forget();
    }
    // Without an agent each call reports its own failure, with no readiness wait.
    served.reset();
    fakes::ProgIdOverride absent(L"Krellin.KrellinIF.1", nullptr);
    Forget();
    Open();
    EXPECT_EQ(boxTexts.size(), 1 + 2 * 11u);
    EXPECT_EQ(log.find("pause"), std::string::npos);
    EXPECT_EQ(Shown(), L"0  ShowDiag MuteAudio ShowTray NoFixed Ctrl AllowClicked NotifyBlock");
}

// The allowed sites are read again before each change, so that a site added
// meanwhile (from the tray) is kept.
TEST_F(ControlPanelTest, EveryClickDoesWhatItsElementStandsFor) {
    const std::string site = "open:http://www.quandrel.com/; ", sound = NarrowText(wave.c_str()),
                      sites = "get AllowedSites; put AllowedSites=",
                      restart = "Quit; create; get IsServeReady; ";
    const struct {
        const wchar_t* ids; // clicked in turn
        std::string log;
        INT_PTR ended = 0;          // 0: still running
        const wchar_t* typed = L""; // into NewSite
    } cases[] = {
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
        {L"Quit Quit", restart + PushAll(sound, 5)},
        {L"Quit MuteAudio", restart + PushAll(sound, 5, 1)},
        {L"Quit Ctrl", restart + PushAll(sound, 4)},
        {L"MuteAudio NumPopups", "put MuteAudio=-1; " + PushAll(sound, 5, 1)},
        {L"WebSite", site},
        {L"MuteAudio Play", "put MuteAudio=-1; "},
        {L"PickFile", "pick:" + sound + "; "},
        {L"Vabout", "about; " + site},
        {L"AddSite", sites + "example.com\r\nnews.example.org; get AllowedSites; ", 0,
         L" HTTP://News.Example.ORG:80/page "},
        {L"AddSite", sites + "example.com; get AllowedSites; ", 0, L"EXAMPLE.com"},
        {L"RemoveSite", sites + "; get AllowedSites; ", 0, L"example.com"},
        {L"RemoveSite", sites + "example.com; get AllowedSites; ", 0, L"ads.other.net"},
        {L"AddSite", "box:Vornix!; ", 0, L"bad site!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids);
        Serve([&](FakeAgent& a) {
            a.numbers[L"BypassKeys"] = 5;
            a.texts = {{L"AudioFileName", wave}, {L"AllowedSites", L"example.com"}};
        });
        Open();
        Agent().numbers[L"BlockedCount"] = 17;
        Forget();
        SetWindowTextW(Control(L"NewSite"), c.typed);
        SetWindowTextW(Control(L"FileName"), L"typed.wav");
        OnNextTick about([&] {
            log += "about; ";
            HWND box = FindWindowW(L"#32770", nullptr);
            SendMessageW(box, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, 1000)));
            SendMessageW(box, WM_COMMAND, IDOK, 0);
        });
        std::wistringstream ids(c.ids);
        for (std::wstring id; ids >> id;)
            Click(id.c_str());
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(dialog->Ended() ? dialog->Result() : 0, c.ended);
        EXPECT_EQ(Shown().find(L" Quit") != std::wstring::npos, c.log == "Quit; ");
        for (const auto& agent : agents)
            EXPECT_EQ(agent->Refs(), agent->quit ? 1u : 2u) << "the panel's one reference";
        EXPECT_EQ(Text(L"Sites"), Agent().texts[L"AllowedSites"]);
        EXPECT_EQ(Text(L"NumPopups"), c.log.find("get BlockedCount") == std::string::npos
                                          ? L"0"
                                          : std::to_wstring(Agent().numbers[L"BlockedCount"]));
        EXPECT_EQ(Text(L"NewSite"), c.log == "box:Vornix!; " ? c.typed : L"");
    }
}

TEST_F(ControlPanelTest, OnlyOpenableWaveFilesOnThisComputerAreTheSound) {
    const struct {
        std::wstring stored;
        std::optional<std::wstring> picked; // none: the pick is cancelled
        std::string sound;                  // what the panel then plays and sends
        bool refused = false;
    } cases[] = {
        {L"C:\\no such folder\\gone.wav", {}, ""},
        {L"\\\\?\\" + wave, {}, ""},
        // No look-alike may stand in for a missing character: it could name
        // another file that exists.
        {std::wstring(wave).replace(wave.size() - 8, 1, L"\u0113"), {}, ""},
        {L"", L"C:\\Media\\CHIME.WAV", "C:\\Media\\CHIME.WAV"},
        {L"", L"C:\\Media.wav\\noextension", ""},
        {L"", L"C:\\Media\\\u4E2D.wav", "", true},
        {L"", L"\\\\server\\media\\chime.wav", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored + c.picked.value_or(L""));
        Serve([&](FakeAgent& a) { a.texts[L"AudioFileName"] = c.stored; });
        Open();
        Forget();
        picked = c.picked;
        Click(L"PickFile");
        Click(L"Play");
        EXPECT_EQ(log, "pick:; " + (c.sound.empty() ? "" : PushAll(c.sound, 1)) +
                           (c.refused ? "box:Vornix!; " : "") + "play:" + c.sound + "; ");
        EXPECT_EQ(NarrowText(Text(L"FileName").c_str()), c.sound.substr(c.sound.rfind('\\') + 1));
    }
}

TEST_F(ControlPanelTest, TheProgramRegistersAndUnregistersButNotWhenEmbedded) {
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
    EXPECT_EQ(ControlPanelApp().Run(L"VornixUI.exe /embedding /regserver"), 0);
    EXPECT_EQ(log, "");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
}

TEST_F(ControlPanelTest, RunsModallyOverItsPageOrABlankOneWhenThePathIsTooLong) {
    const std::string fits = "C:\\" + std::string(MAX_PATH - 1 - 7 - kPage.size() - 3, 'p'),
                      over = fits + "p", huge = "C:\\" + std::string(250, 'p');
    const struct {
        const char* programFiles; // null: unset
        std::string folder;
        bool pageFits, helpFits;
    } cases[] = {
        {nullptr, "C:\\Program Files", true, true}, {"", "C:\\Program Files", true, true},
        {fits.c_str(), fits, true, true},           {over.c_str(), over, false, true},
        {huge.c_str(), huge, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        ProgramFiles env(c.programFiles);
        Serve();
        Forget();
        StubPage stub(log);
        ControlPanelDialog panel(stub);
        OnNextTick tick([&] {
            stub.events->OnDocumentComplete(true);
            stub.events->OnElementClick(L"Vhelp");
            stub.events->OnElementClick(L"ButtonOK");
        });
        EXPECT_EQ(panel.Run(nullptr), IDOK);
        const std::string help =
            "open:" + c.folder + "\\Quandrel, Inc\\Vornix! Popup Blocker\\index.htm; ";
        EXPECT_EQ(log, "create; get IsServeReady; " + kReads +
                           (c.pageFits ? "open file://" + c.folder + kPage
                                       : "box:Vornix!; open about:blank") +
                           "; " + kReads + (c.helpFits ? help : "box:Vornix!; ") + "close; ");
    }
}

// Where no HTML engine renders, the native page takes the browser's place.
TEST_F(ControlPanelTest, HostsTheBrowserThenTheNativePageLaidOutUnderItsIconsAndEscapeCloses) {
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
            EXPECT_TRUE(SendMessageW(panel.Window(), WM_GETICON, ICON_BIG, 0) &&
                        SendMessageW(panel.Window(), WM_GETICON, ICON_SMALL, 0));
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
    EXPECT_EQ(log, "create; get IsServeReady; " + kReads + kReads);
}

TEST_F(ControlPanelTest, ReadinessIsAwaitedOnceWithFortyNinePausesAtMost) {
    const struct {
        const char* name;
        long readyAt, readyValue, queries;
        bool warned;
    } cases[] = {
        {"ready at the 50th query", 50, 1, 50, false},
        {"never ready", 0, 1, 50, true},
        {"nonzero only above the low half", 1, 0x10000, 50, true},
        {"0xFFFF counts as ready", 1, 0xFFFF, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Serve([&](FakeAgent& a) {
            a.readyAt = c.readyAt;
            a.readyValue = c.readyValue;
        });
        AgentClient client;
        Forget();
        client.ReadVisible();
        client.WriteMuteAudio(1);
        // Once ready, never asked again; until then every call waits anew,
        // warns, and is made all the same.
        std::string waits;
        for (int i = 1; i < c.queries; ++i)
            waits += "get IsServeReady; pause:100; ";
        waits += "get IsServeReady; " + std::string(c.warned ? "box:Vornix!; " : "");
        EXPECT_EQ(log, waits + "get Visible; " + (c.warned ? waits : "") + "put MuteAudio=-1; ");
    }
}

TEST_F(ControlPanelTest, AFailedCallIsReportedOnceAndTheClientStaysUsableUntilItLetsGo) {
    Serve();
    {
        AgentClient client;
        FakeAgent& agent = Agent();
        agent.numbers[L"BlockedCount"] = 7;
        // The second error has no text from the system.
        for (HRESULT failure : {E_ACCESSDENIED, static_cast<HRESULT>(0xA0BC1234)}) {
            agent.failures = {{L"BlockedCount", failure}};
            EXPECT_EQ(client.ReadBlockedCount(), 0);
        }
        agent.failures.clear();
        EXPECT_EQ(client.ReadBlockedCount(), 7);
        ASSERT_EQ(boxTexts.size(), 2u) << "nothing retried";
        EXPECT_EQ(boxTexts[0].find("0x"), std::string::npos) << boxTexts[0];
        EXPECT_NE(boxTexts[0].find_first_not_of(" \r\n"), std::string::npos);
        EXPECT_NE(boxTexts[1].find("0xA0BC1234"), std::string::npos) << boxTexts[1];
    }
    EXPECT_EQ(Agent().Refs(), 1u) << "the client let go of the agent";
}

TEST_F(ControlPanelTest, SoundPathsCrossInTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
    Serve();
    AgentClient client;
    client.WriteAudioFileName("C:\\Sounds\\caf\xE9.wav");
    EXPECT_EQ(Agent().texts[L"AudioFileName"], L"C:\\Sounds\\caf\u00E9.wav");
    EXPECT_EQ(client.ReadAudioFileName(), "C:\\Sounds\\caf\xE9.wav");
}

TEST(CommandLine, SwitchesAreFoundWithEitherMarkInAnyCase) {
    const struct {
        const wchar_t* line;
        std::string found;
    } cases[] = {
        {L"VornixUI.exe /REGISTER", " register"},
        {L"VornixUI.exe -unregister", " unregister"},
        {L"VornixUI.exe -AUTOMATION", " embedded"},
        {L"VornixUI.exe /NativePage", " native"},
        {L"VornixUI.exe -nativepage /regserver", " register native"},
        {L"VornixUI.exe /regservers /xyz regserver", ""},
        {L"/regserver", ""}, // the program's own name comes first
    };
    for (const auto& c : cases) {
        const CommandLineSwitches s = ParseCommandLine(c.line);
        EXPECT_EQ(std::string(s.embedded ? " embedded" : "") + (s.unregister ? " unregister" : "") +
                      (s.registerServer ? " register" : "") + (s.nativePage ? " native" : ""),
                  c.found)
            << c.line;
    }
}

TEST(InstallPaths, OnlyThePanelsOwnPagesAreShown) {
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
        {WidenText(PageAddress()).substr(7), true, true},
        {folder + L"index.htm", false, true},
        {L"about:blank", false, true},
        {L"file://server/share/vornixui-popup.htm", false, false},
        {folder + L"vornixui-popup.htm.evil", false, false},
        {folder + L"vornixui-popup.htm" + std::wstring(1, L'\0') + L"x", false, false},
        {L"about:blank#x", false, false},
    };
    for (const auto& c : urls) {
        EXPECT_EQ(IsPanelPage(c.url), c.page) << c.url;
        EXPECT_EQ(IsPanelAddress(c.url), c.shown) << c.url;
    }
}

TEST_F(ControlPanelTest, TheBrowsersPageStaysOnlyWhenItOpensAndCompletesInTime) {
    const struct {
        const char* name;
        HRESULT browserOpens;
        bool completes, topLevel, fallsBack;
    } cases[] = {
        {"control cannot be created", E_FAIL, false, false, true},
        {"page completes", S_OK, true, true, false},
        {"only a frame completes", S_OK, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubPage browser(log);
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
