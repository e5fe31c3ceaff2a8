// The agent window and the automation object in-process, with the settings
// service, the shell's collection and the favourites reader as doubles.
#include "FakeRegistry.h"
#include "ShellWindowCollection.h"
#include "InProcessClass.h"

#include "agent/AgentWindow.h"
#include "agent/KrellinIF.h"
#include "agent/resource.h"
#include "common/TypeLibrary.h"
#include "engine/RegistryClient.h"
#include "engine/ShellIds.h"
#include "engine/XShell.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

namespace vx::test {
namespace {

constexpr CLSID kRegistryClsid = {
    0x7a31c0de, 0x5b2e, 0x4f19, {0xa2, 0x6d, 0x0c, 0x44, 0x19, 0x8e, 0x21, 0x01}};

class AgentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        collection = ComPtr<browserdouble::ShellWindowCollection>(
            browserdouble::ShellWindowCollection::Get());
        shellClass = std::make_unique<fakes::InProcessClass>(
            kShellWindowsProgId, kClsidShellWindows, CLSCTX_INPROC_SERVER,
            [this](REFIID riid, void** ppv) { return collection->QueryInterface(riid, ppv); });
        registry = std::make_unique<fakes::InProcessClass>(
            RegistryClient::kProgId, kRegistryClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
            [this](REFIID riid, void** ppv) {
                return fakes::CreateDouble<fakes::FakeRegistry>(riid, ppv, &store);
            });
    }

    void TearDown() override {
        window.reset();
        EXPECT_EQ(nullptr, theAgentWindow);
        registry.reset();
        shellClass.reset();
        browserdouble::ShellWindowCollection::Close();
        collection.Reset();
    }

    // An agent window as the host makes it, hidden.
    bool Open() {
        window = std::make_unique<OwnedWindow>();
        return window->agent.InitInstance(GetModuleHandle(nullptr), SW_HIDE);
    }

    // Runs the loop until the window is destroyed, first doing `during`
    // from inside the loop (so that the engine exists).
    void RunLoop(std::function<void()> during) {
        during_ = std::move(during);
        PostMessageA(window->agent.Window(), WM_NULL, 0, 0);
        SetTimer(nullptr, 0, 1, &AgentTest::OnTimer);
        current_ = this;
        window->agent.RunMessageLoop();
    }

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        auto during = std::move(current_->during_);
        if (during) during();
        if (theAgentWindow) theAgentWindow->DestroyStatusWindow();
    }

    struct OwnedWindow {
        AgentWindow agent;
        ~OwnedWindow() { theAgentWindow = nullptr; }
    };

    ComApartment com_;
    fakes::RegistryStore store;
    ComPtr<browserdouble::ShellWindowCollection> collection;
    std::unique_ptr<fakes::InProcessClass> shellClass, registry;
    std::unique_ptr<OwnedWindow> window;
    std::function<void()> during_;
    static AgentTest* current_;
};
AgentTest* AgentTest::current_ = nullptr;

TEST_F(AgentTest, StartsHiddenWithTheStoredTrayAndTheLogHeader) {
    store.dwords[L"ShowTray"] = 0;
    ASSERT_TRUE(Open());
    AgentWindow& agent = window->agent;
    EXPECT_EQ(&agent, theAgentWindow);
    EXPECT_FALSE(agent.IsStatusWindowVisible());
    EXPECT_TRUE(IsIconic(agent.Window())) << "created minimised";
    EXPECT_FALSE(agent.TrayShown());
    EXPECT_STREQ("Vornix! Has now blocked many popups!", agent.TrayTip());
    ASSERT_EQ(1, agent.Log().LineCount());
    EXPECT_EQ("Krellin Status Log:", agent.Log().Lines()[0]);
    char title[128] = {};
    GetWindowTextA(agent.Window(), title, sizeof title);
    EXPECT_STREQ("Vornix! Popup Blocker - Krellin Diagnostics Window", title);
    EXPECT_EQ(0, store.dwords[L"ShowTray"]) << "stored back unchanged";
}

TEST_F(AgentTest, FirstStartShowsTheTrayIcon) {
    ASSERT_TRUE(Open());
    EXPECT_TRUE(window->agent.TrayShown());
    EXPECT_EQ(1, store.dwords[L"ShowTray"]);
}

TEST_F(AgentTest, ASecondAgentEndsWithoutAWindow) {
    ASSERT_TRUE(Open());
    AgentWindow second;
    EXPECT_FALSE(second.InitInstance(GetModuleHandle(nullptr), SW_HIDE));
    EXPECT_EQ(nullptr, second.Window());
    EXPECT_FALSE(second.TrayShown());
    theAgentWindow = &window->agent;
}

TEST_F(AgentTest, TheLoopRunsTheEngineAndTheTipCarriesTheCount) {
    store.dwords[L"BlockCount"] = 42;
    ASSERT_TRUE(Open());
    LONG readyInLoop = 0;
    std::string tipInLoop;
    RunLoop([&] {
        readyInLoop = theAgentWindow->ServeReady();
        tipInLoop = theAgentWindow->TrayTip();
        ASSERT_TRUE(theAgentWindow->Engine());
        theAgentWindow->Engine()->AddBlockCount(1);
    });
    EXPECT_EQ(1, readyInLoop);
    EXPECT_EQ("Vornix! Has now blocked 42 popups!", tipInLoop);
    EXPECT_EQ(nullptr, window->agent.Engine()) << "deleted when the loop ends";
    EXPECT_FALSE(window->agent.TrayShown()) << "icon removed at the end";
    EXPECT_EQ(1, store.dwords[L"ShowTray"]) << "the stored setting survives the end";
    EXPECT_EQ(43, store.dwords[L"BlockCount"]);
}

TEST_F(AgentTest, ABlockRefreshesTheTipAndStoresShowTrayEvenWhileHidden) {
    store.dwords[L"ShowTray"] = 0;
    store.dwords[L"BlockCount"] = 5;
    ASSERT_TRUE(Open());
    std::string tip;
    bool shown = true;
    RunLoop([&] {
        store.calls.clear();
        XShell* engine = theAgentWindow->Engine();
        engine->AnnounceBlock(engine->AddBlockCount(1), L"http://ad.example.net/", L"");
        tip = theAgentWindow->TrayTip();
        shown = theAgentWindow->TrayShown();
    });
    EXPECT_EQ("Vornix! Has now blocked 6 popups!", tip);
    EXPECT_FALSE(shown) << "a block does not bring the icon back";
    bool stored = false;
    for (const auto& c : store.calls) stored |= c == L"SetAppDWORD ShowTray 0";
    EXPECT_TRUE(stored);
}

TEST_F(AgentTest, MenuCommandsAndTrayCallbacks) {
    ASSERT_TRUE(Open());
    AgentWindow& agent = window->agent;
    HWND hwnd = agent.Window();
    // Callbacks for another icon are not handled.
    EXPECT_EQ(0, SendMessageA(hwnd, AgentWindow::kTrayMessage, 99, WM_LBUTTONDBLCLK));
    EXPECT_EQ(0, SendMessageA(hwnd, AgentWindow::kTrayMessage, AgentWindow::kTrayId, WM_MOUSEMOVE));

    // Exit Taskbar removes the icon and stores that; the agent goes on.
    SendMessageA(hwnd, WM_COMMAND, IDM_EXIT_TASKBAR, 0);
    EXPECT_FALSE(agent.TrayShown());
    EXPECT_EQ(0, store.dwords[L"ShowTray"]);
    EXPECT_TRUE(IsWindow(hwnd));

    // The close box hides the window and keeps the agent.
    agent.ShowStatusWindow(true);
    EXPECT_TRUE(agent.IsStatusWindowVisible());
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(agent.IsStatusWindowVisible());
    EXPECT_TRUE(IsWindow(hwnd));

    HMENU file = GetSubMenu(GetMenu(hwnd), 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(IDM_OPEN_CONTROL_PANEL, static_cast<int>(GetMenuItemID(file, 0)));
    EXPECT_EQ(IDM_EXIT_TASKBAR, static_cast<int>(GetMenuItemID(file, 1)));
}

TEST_F(AgentTest, LongLinesWidenTheLogUntilTheyAreDropped) {
    ASSERT_TRUE(Open());
    AgentWindow& agent = window->agent;
    agent.ShowStatusWindow(true);
    ShowWindow(agent.Window(), SW_RESTORE);
    const LONG narrowest = agent.WidestLine();
    agent.AddStatusLine(std::string(400, 'w').c_str());
    const LONG widest = agent.WidestLine();
    EXPECT_GT(widest, narrowest);
    agent.AddStatusLine(std::string(200, 'w').c_str());
    EXPECT_EQ(widest, agent.WidestLine());
    // The header and the widest line leave; the narrower long line stays.
    for (size_t i = 1; i < StatusLog::kMaxLines; ++i) agent.AddStatusLine("line");
    EXPECT_LT(agent.WidestLine(), widest);
    EXPECT_GT(agent.WidestLine(), narrowest);
    agent.AddStatusLine("line");
    EXPECT_EQ(narrowest, agent.WidestLine());

    UpdateWindow(agent.Window());
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE;
    GetScrollInfo(agent.Window(), SB_VERT, &si);
    EXPECT_EQ(agent.Log().LineCount() - 1, si.nMax);
    SendMessageA(agent.Window(), WM_VSCROLL, SB_BOTTOM, 0);
    si.fMask = SIF_POS;
    GetScrollInfo(agent.Window(), SB_VERT, &si);
    const int bottom = si.nPos;
    EXPECT_GT(bottom, 0);
    agent.AddStatusLine("line");
    agent.AddStatusLine("line");
    GetScrollInfo(agent.Window(), SB_VERT, &si);
    EXPECT_EQ(bottom - 2, si.nPos) << "the lines in view stay in view";
}

TEST(ControlPanelPath, FollowsProgramFilesAndNeverOverflows) {
    char saved[MAX_PATH] = {};
    bool had = GetEnvironmentVariableA("ProgramFiles", saved, sizeof saved) > 0;
    SetEnvironmentVariableA("ProgramFiles", nullptr);
    EXPECT_EQ("C:\\Program Files\\Quandrel, Inc\\Vornix! Popup Blocker\\VornixUI.exe",
              AgentWindow::ControlPanelPath());
    SetEnvironmentVariableA("ProgramFiles", "D:\\Apps");
    EXPECT_EQ("D:\\Apps\\Quandrel, Inc\\Vornix! Popup Blocker\\VornixUI.exe",
              AgentWindow::ControlPanelPath());
    SetEnvironmentVariableA("ProgramFiles", std::string(250, 'x').c_str());
    EXPECT_EQ("", AgentWindow::ControlPanelPath()) << "too long: nothing is started";
    SetEnvironmentVariableA("ProgramFiles", std::string(5000, 'x').c_str());
    EXPECT_EQ("", AgentWindow::ControlPanelPath());
    SetEnvironmentVariableA("ProgramFiles", had ? saved : nullptr);
}

// The automation object, called as the control panel calls it.
class AutomationTest : public AgentTest {
  protected:
    ComPtr<IKrellinIF> NewObject() {
        ComPtr<IKrellinIF> object;
        EXPECT_EQ(S_OK, KrellinIF::CreateInstance(nullptr, IID_IKrellinIF, object.PutVoid()));
        return object;
    }
};

TEST_F(AutomationTest, DefaultsWithoutAWindowOrEngine) {
    auto a = NewObject();
    LONG v = -5;
    SHORT keys = -5;
    EXPECT_EQ(S_OK, a->get_BlockedCount(&v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(S_OK, a->get_MuteAudio(&v));
    EXPECT_EQ(1, v);
    EXPECT_EQ(S_OK, a->get_AllowSameSite(&v));
    EXPECT_EQ(1, v);
    EXPECT_EQ(S_OK, a->get_KillFixedSize(&v));
    EXPECT_EQ(1, v);
    EXPECT_EQ(S_OK, a->get_BypassKeys(&keys));
    EXPECT_EQ(1, keys);
    EXPECT_EQ(S_OK, a->get_IsServeReady(&v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(S_OK, a->get_Visible(&v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(S_OK, a->get_ShowTray(&v));
    EXPECT_EQ(0, v);
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, a->get_AudioFileName(&name));
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(0u, SysStringLen(name));
    SysFreeString(name);
    EXPECT_EQ(S_OK, a->put_MuteAudio(0));
    EXPECT_EQ(S_OK, a->put_BypassKeys(4));
    EXPECT_EQ(S_OK, a->Quit());
    EXPECT_TRUE(store.calls.empty()) << "no engine, nothing saved";
}

TEST_F(AutomationTest, PutsReachTheEngineBitZeroRulesAndSaveAllFive) {
    store.strings[L"AudioFileName"] = L"C:\\ding.wav";
    ASSERT_TRUE(Open());
    RunLoop([&] {
        auto a = NewObject(), b = NewObject();
        LONG v = 0;
        SHORT keys = 0;
        struct Row {
            HRESULT (IKrellinIF::*put)(LONG);
            HRESULT (IKrellinIF::*get)(LONG*);
            LONG value;
            LONG expect;
        } rows[] = {
            {&IKrellinIF::put_MuteAudio, &IKrellinIF::get_MuteAudio, 2, 0},
            {&IKrellinIF::put_MuteAudio, &IKrellinIF::get_MuteAudio, -1, 1},
            {&IKrellinIF::put_AllowSameSite, &IKrellinIF::get_AllowSameSite, 2, 0},
            {&IKrellinIF::put_KillFixedSize, &IKrellinIF::get_KillFixedSize, 0, 0},
            {&IKrellinIF::put_KillFixedSize, &IKrellinIF::get_KillFixedSize, 3, 1},
        };
        for (const auto& row : rows) {
            store.calls.clear();
            EXPECT_EQ(S_OK, (a.Get()->*row.put)(row.value));
            EXPECT_EQ(S_OK, (b.Get()->*row.get)(&v)) << "the other client sees it";
            EXPECT_EQ(row.expect, v);
            EXPECT_EQ(8,
                      std::count_if(store.calls.begin(), store.calls.end(),
                                    [](const std::wstring& c) { return c.find(L"SetApp") == 0; }));
        }
        EXPECT_EQ(S_OK, a->put_BypassKeys(0x0100));
        EXPECT_EQ(S_OK, b->get_BypassKeys(&keys));
        EXPECT_EQ(0x0100, keys);
        EXPECT_EQ(256, store.dwords[L"BypassKeys"]);

        Bstr file(L"C:\\sounds\\block.wav");
        EXPECT_EQ(S_OK, a->put_AudioFileName(file.Get()));
        Bstr back;
        EXPECT_EQ(S_OK, b->get_AudioFileName(back.Put()));
        EXPECT_STREQ(L"C:\\sounds\\block.wav", back.Text());
        EXPECT_NE(file.Get(), back.Get()) << "a copy for the caller";
        EXPECT_EQ(L"C:\\sounds\\block.wav", store.strings[L"AudioFileName"]);

        EXPECT_EQ(S_OK, a->put_Visible(-1));
        EXPECT_EQ(S_OK, b->get_Visible(&v));
        EXPECT_NE(0, v);
        EXPECT_EQ(S_OK, a->put_Visible(2));
        EXPECT_EQ(S_OK, b->get_Visible(&v));
        EXPECT_EQ(0, v);

        EXPECT_EQ(S_OK, a->put_ShowTray(1));
        EXPECT_EQ(S_OK, a->put_ShowTray(1));
        EXPECT_EQ(S_OK, b->get_ShowTray(&v));
        EXPECT_EQ(1, v);
        EXPECT_EQ(S_OK, a->put_ShowTray(2));
        EXPECT_EQ(S_OK, b->get_ShowTray(&v));
        EXPECT_EQ(0, v);
        EXPECT_EQ(0, store.dwords[L"ShowTray"]);

        store.dwords[L"BlockCount"] = 9;
        EXPECT_EQ(S_OK, a->get_BlockedCount(&v));
        EXPECT_EQ(9, v);
        EXPECT_EQ(S_OK, a->get_IsServeReady(&v));
        EXPECT_EQ(1, v);
    });
}

TEST_F(AutomationTest, OnlyAFileOnThisComputerBecomesTheSound) {
    struct Row {
        const wchar_t* name;
        bool local;
    };
    const Row rows[] = {
        {L"C:\\Media\\ding.wav", true},     {L"c:ding.wav", true},
        {L"ding.wav", true},                 {L"\\Media\\ding.wav", true},
        {L"\\\\host\\share\\a.wav", false}, {L"//host/share/a.wav", false},
        {L"\\/host/share/a.wav", false},     {L"\\\\?\\C:\\a.wav", false},
        {L"\\\\.\\C:\\a.wav", false},       {L"\\??\\C:\\a.wav", false},
        {L"http://host/a.wav", false},       {L"file://host/share/a.wav", false},
        {L"file:///C:/a.wav", false},        {L"ms-settings:sound", false},
    };
    ASSERT_TRUE(Open());
    RunLoop([&] {
        auto a = NewObject();
        const Bstr previous(L"C:\\previous.wav");
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            ASSERT_EQ(S_OK, a->put_AudioFileName(previous.Get()));
            store.calls.clear();
            EXPECT_EQ(row.local ? S_OK : E_INVALIDARG, a->put_AudioFileName(Bstr(row.name).Get()));
            Bstr back;
            EXPECT_EQ(S_OK, a->get_AudioFileName(back.Put()));
            EXPECT_STREQ(row.local ? row.name : previous.Get(), back.Text());
            EXPECT_EQ(row.local, !store.calls.empty()) << "a refused name is not stored";
        }
        const Bstr hidden(L"a.wav\0//host/a.wav", 19);
        EXPECT_EQ(E_INVALIDARG, a->put_AudioFileName(hidden.Get()));
        EXPECT_EQ(S_OK, a->put_AudioFileName(nullptr)) << "no name: no sound";
    });
}

TEST_F(AutomationTest, NoConnectionPointsAndAggregation) {
    auto a = NewObject();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, a->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID__IKrellinIFEvents, &point));
    EXPECT_EQ(nullptr, point);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Put()));
    ULONG fetched = 7;
    EXPECT_EQ(S_FALSE, points->Next(1, &point, &fetched));
    EXPECT_EQ(0u, fetched);

    // Inside an aggregate: only IUnknown may be asked for.
    struct Outer : IUnknown {
        STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
    } outer;
    ClassFactory<KrellinIF> factory;
    void* p = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory.CreateInstance(&outer, IID_IKrellinIF, &p));
    ComPtr<IUnknown> inner;
    ASSERT_EQ(S_OK, factory.CreateInstance(&outer, IID_IUnknown, inner.PutVoid()));
    ComPtr<IKrellinIF> viaInner;
    EXPECT_EQ(S_OK, inner->QueryInterface(IID_IKrellinIF, viaInner.PutVoid()));
    viaInner.Reset();
    EXPECT_EQ(0u, inner.Detach()->Release());
}

TEST_F(AutomationTest, TheTypeLibraryCarriesItsIdentity) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadOwnTypeLib(lib.Put()));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_KRELLINLib, attr->guid)) << "the library's GUID as declared";
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0x409u, attr->lcid);
    lib->ReleaseTLibAttr(attr);
    for (const GUID* type :
         {&IID_IKrellinIF, &IID_IKrellinIF2, &DIID__IKrellinIFEvents, &CLSID_KrellinIF}) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(S_OK, lib->GetTypeInfoOfGuid(*type, info.Put()));
    }
}

TEST_F(AutomationTest, DispatchServesTheDeclaredTypes) {
    auto a = NewObject();
    ComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, a->QueryInterface(IID_IDispatch, disp.PutVoid()));
    const wchar_t* names[] = {L"Quit",        L"Visible",      L"BlockedCount",  L"MuteAudio",
                              L"AudioFileName", L"ShowTray",   L"IsServeReady", L"AllowSameSite",
                              L"KillFixedSize", L"BypassKeys"};
    for (DISPID expected = 1; expected <= 10; ++expected) {
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(names[expected - 1]);
        EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id));
        EXPECT_EQ(expected, id);
    }
    Variant result;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(S_OK, disp->Invoke(10, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Get(),
                                 nullptr, nullptr));
    EXPECT_EQ(VT_I2, V_VT(result.Get()));
}

} // namespace
} // namespace vx::test
