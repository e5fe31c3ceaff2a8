#include "tests/fakes/ServedDoubles.h"
#include "tests/support/LateBound.h"
#include "tests/support/ProcessTools.h"

#include "agent/AgentWindow.h"
#include "agent/KrellinIF.h"
#include "agent/resource.h"
#include "engine/XShell.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace vx::test {
namespace {

class AgentTest : public ::testing::Test, protected fakes::ServedDoubles {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(com.Result()) && shellClass && registry); }
    void TearDown() override {
        Close();
        browserdouble::ShellWindowCollection::Close();
    }

    bool Open() {
        agent = std::make_unique<AgentWindow>();
        return agent->InitInstance(GetModuleHandle(nullptr), SW_HIDE);
    }
    void Close() {
        agent.reset();
        theAgentWindow = nullptr;
    }
    // `during` runs inside the loop, where the engine exists.
    void RunLoop(std::function<void()> during) {
        during_ = std::move(during);
        PostMessageA(agent->Window(), WM_NULL, 0, 0);
        SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            std::exchange(during_, nullptr)();
            if (theAgentWindow) theAgentWindow->DestroyStatusWindow();
        });
        agent->RunMessageLoop();
    }

    std::unique_ptr<AgentWindow> agent;
    static inline std::function<void()> during_;
};

// The tray icon's state is stored back at the start and with each block; a
// block shows in the tip even with no icon.
TEST_F(AgentTest, StartsHiddenAndTheLoopRunsTheEngineWithTheStoredTray) {
    for (bool trayHidden : {false, true}) {
        SCOPED_TRACE(trayHidden);
        store.dwords[L"BlockCount"] = 42;
        if (trayHidden) store.dwords[L"ShowTray"] = 0;
        ASSERT_TRUE(Open());
        EXPECT_FALSE(agent->IsStatusWindowVisible());
        EXPECT_TRUE(IsIconic(agent->Window())) << "created minimised";
        EXPECT_EQ(!trayHidden, agent->TrayShown());
        EXPECT_EQ(trayHidden ? 0 : 1, store.dwords[L"ShowTray"]);
        ASSERT_EQ(1, agent->Log().LineCount()) << "the header alone";
        RunLoop([&] {
            EXPECT_NE(nullptr, std::strstr(agent->TrayTip(), " 42 "));
            XShell* engine = agent->Engine();
            ASSERT_TRUE(engine);
            store.calls.clear();
            engine->AnnounceBlock(engine->AddBlockCount(1), L"http://ad.example.net/", L"");
            EXPECT_NE(nullptr, std::strstr(agent->TrayTip(), " 43 "));
            EXPECT_EQ(!trayHidden, agent->TrayShown()) << "a block does not bring the icon back";
            const std::wstring tray = L"SetAppDWORD ShowTray " + std::to_wstring(!trayHidden);
            EXPECT_NE(std::find(store.calls.begin(), store.calls.end(), tray), store.calls.end());
        });
        EXPECT_EQ(trayHidden ? 0 : 1, store.dwords[L"ShowTray"]) << "and it survives the end";
        EXPECT_FALSE(agent->TrayShown()) << "icon removed at the end";
        Close();
    }
}

TEST_F(AgentTest, LongLinesWidenTheLogTheCloseBoxHidesAndTheTrayLeavesOnRequest) {
    ASSERT_TRUE(Open());
    HWND hwnd = agent->Window();
    agent->ShowStatusWindow(true);
    ShowWindow(hwnd, SW_RESTORE);
    const LONG narrowest = agent->WidestLine();
    agent->AddStatusLine(std::string(400, 'w').c_str());
    const LONG widest = agent->WidestLine();
    EXPECT_GT(widest, narrowest);
    agent->AddStatusLine(std::string(200, 'w').c_str());
    EXPECT_EQ(widest, agent->WidestLine());
    // The header and the widest line leave; the narrower long line stays.
    for (size_t i = 1; i < StatusLog::kMaxLines; ++i)
        agent->AddStatusLine("line");
    EXPECT_LT(agent->WidestLine(), widest);
    EXPECT_GT(agent->WidestLine(), narrowest);
    agent->AddStatusLine("line");
    EXPECT_EQ(narrowest, agent->WidestLine());

    auto scroll = [&](UINT mask) {
        SCROLLINFO si = {sizeof si, mask, 0, 0, 0, 0, 0};
        GetScrollInfo(hwnd, SB_VERT, &si);
        return si;
    };
    UpdateWindow(hwnd);
    EXPECT_EQ(agent->Log().LineCount() - 1, scroll(SIF_RANGE).nMax);
    SendMessageA(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
    const int bottom = scroll(SIF_POS).nPos;
    EXPECT_GT(bottom, 0);
    agent->AddStatusLine("line");
    agent->AddStatusLine("line");
    EXPECT_EQ(bottom - 2, scroll(SIF_POS).nPos) << "the lines in view stay in view";

    EXPECT_EQ(0, SendMessageA(hwnd, AgentWindow::kTrayMessage, 99, WM_LBUTTONDBLCLK))
        << "another icon's callback";
    EXPECT_EQ(0, SendMessageA(hwnd, AgentWindow::kTrayMessage, AgentWindow::kTrayId, WM_MOUSEMOVE));
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(agent->IsStatusWindowVisible());
    EXPECT_TRUE(IsWindow(hwnd)) << "the close box only hides";
    SendMessageA(hwnd, WM_COMMAND, IDM_EXIT_TASKBAR, 0);
    EXPECT_FALSE(agent->TrayShown());
    EXPECT_EQ(0, store.dwords[L"ShowTray"]) << "Exit Taskbar is stored";
}

TEST(ControlPanelPath, FollowsProgramFilesAndNeverOverflows) {
    const std::string tooLong(250, 'x'), huge(5000, 'x');
    // "": too long, nothing is started
    const std::pair<const char*, std::string> rows[] = {
        {nullptr, "C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\VornixUI.exe"},
        {"D:\\Apps", "D:\\Apps\\Quandrel, Inc\\Vornix! Popup Blocker\\VornixUI.exe"},
        {tooLong.c_str(), ""},
        {huge.c_str(), ""}};
    for (const auto& [programFiles, path] : rows) {
        ProgramFiles env(programFiles);
        EXPECT_EQ(path, AgentWindow::ControlPanelPath());
    }
}

// A client may call before the agent's window and engine exist.
TEST_F(AgentTest, ObjectsAnswerAloneAndShareStoreAndCheckPutsBesideTheEngine) {
    ComPtr<IKrellinIF> object, other;
    ASSERT_EQ(S_OK, KrellinIF::CreateInstance(nullptr, IID_IKrellinIF, object.PutVoid()));
    ASSERT_EQ(S_OK, KrellinIF::CreateInstance(nullptr, IID_IKrellinIF, other.PutVoid()));
    LateBound a, b;
    a.Attach(object.Get());
    EXPECT_EQ(0, a.Long(L"IsServeReady"));
    for (const wchar_t* name : {L"BlockedCount", L"MuteAudio", L"AllowSameSite", L"KillFixedSize",
                                L"Visible", L"ShowTray", L"BypassKeys"})
        EXPECT_TRUE(a.Long(name)) << name;
    EXPECT_EQ(L"", a.Text(L"AudioFileName"));
    EXPECT_EQ(S_OK, a.Put(L"MuteAudio", "I", 0L));
    EXPECT_EQ(S_OK, a.Put(L"BypassKeys", "i", 4));
    EXPECT_EQ(S_OK, a.Do(L"Quit"));
    EXPECT_TRUE(store.calls.empty()) << "no engine, nothing saved";
    ComPtr<IConnectionPointContainer> container;
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              container->FindConnectionPoint(DIID__IKrellinIFEvents, &point));

    // clang-format off
    const std::pair<const wchar_t*, bool> sounds[] = {
        {L"C:\\Media\\ding.wav", true}, {L"c:ding.wav", true}, {L"ding.wav", true},
        {L"\\Media\\ding.wav", true}, {L"\\\\host\\share\\a.wav", false},
        {L"//host/share/a.wav", false}, {L"\\/host/share/a.wav", false},
        {L"\\\\?\\C:\\a.wav", false}, {L"\\\\.\\C:\\a.wav", false}, {L"\\??\\C:\\a.wav", false},
        {L"http://host/a.wav", false}, {L"file://host/share/a.wav", false},
        {L"file:///C:/a.wav", false}, {L"ms-settings:sound", false}};
    // clang-format on
    ASSERT_TRUE(Open());
    RunLoop([&] {
        b.Attach(other.Get());
        // The other on/off settings share MuteAudio's road.
        const std::tuple<const wchar_t*, LONG, LONG> rows[] = {
            {L"MuteAudio", 2, 0}, {L"MuteAudio", -1, 1}, {L"ShowTray", 2, 0}};
        for (const auto& [name, value, expected] : rows) {
            EXPECT_EQ(S_OK, a.Put(name, "I", value)) << name;
            EXPECT_EQ(expected, b.Long(name)) << name;
            EXPECT_EQ(expected, store.dwords[name]) << name;
        }

        for (const auto& [name, local] : sounds) {
            SCOPED_TRACE(name);
            ASSERT_EQ(S_OK, a.Put(L"AudioFileName", "s", L"C:\\previous.wav"));
            store.calls.clear();
            EXPECT_EQ(local, SUCCEEDED(a.Put(L"AudioFileName", "s", name)));
            EXPECT_EQ(local ? name : L"C:\\previous.wav", a.Text(L"AudioFileName"));
            EXPECT_EQ(local, !store.calls.empty()) << "a refused name is not stored";
        }
        const Bstr hidden(L"a.wav\0//host/a.wav", 19);
        EXPECT_EQ(E_INVALIDARG, object->put_AudioFileName(hidden.Get()));
        EXPECT_EQ(S_OK, object->put_AudioFileName(nullptr)) << "no name: no sound";
        b.Attach(nullptr);
    });
}

} // namespace
} // namespace vx::test
