// The agent's automation object as the control panel meets it: a late-bound
// client in another process, through the platform's marshaller.
#include "AgentSuite.h"
#include "RegistryTools.h"

#include "Krellin.h"

#include <olectl.h>

#include <climits>
#include <future>
#include <thread>

using namespace vx;
using namespace vx::test;

namespace {

class Automation : public AgentSuite {};

std::optional<DWORD> Stored(const wchar_t* name) {
    return ReadDword(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, name);
}

TEST_F(Automation, OnOffMembersTakeBitZeroAndStoreIt) {
    struct {
        const wchar_t* name;
        bool stored;
    } const members[] = {{L"Visible", false},      {L"MuteAudio", true},
                         {L"ShowTray", true},      {L"AllowSameSite", true},
                         {L"KillFixedSize", true}, {L"AllowUserInitiated", true},
                         {L"NotifyOnBlock", true}};
    // Hiding the window or the icon costs Wine two seconds without a window
    // manager: one value of each kind.
    struct {
        LONG put, reads;
    } const values[] = {{-1, 1}, {2, 0}};
    for (const auto& m : members) {
        SCOPED_TRACE(Narrow(m.name));
        std::optional<LONG> original = Agent().Long(m.name);
        ASSERT_TRUE(original);
        for (const auto& v : values) {
            SCOPED_TRACE(v.put);
            ASSERT_EQ(Agent().Put(m.name, "I", v.put), S_OK);
            EXPECT_EQ(Agent().Long(m.name), v.reads);
            if (m.stored) {
                EXPECT_EQ(Stored(m.name), static_cast<DWORD>(v.reads));
            }
        }
        EXPECT_EQ(Agent().Put(m.name, "I", *original), S_OK);
    }
}

TEST_F(Automation, BypassKeysKeepsAllSixteenBits) {
    struct {
        int put;
        SHORT reads;
        DWORD stored;
    } const cases[] = {{0x0100, 0x0100, 0x0100}, {-1, -1, 0xFFFF}, {6, 6, 6}, {1, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.put);
        ASSERT_EQ(Agent().Put(L"BypassKeys", "i", c.put), S_OK);
        EXPECT_EQ(Agent().TypeOf(L"BypassKeys"), VT_I2);
        EXPECT_EQ(Agent().Long(L"BypassKeys"), c.reads);
        EXPECT_EQ(Stored(L"BypassKeys"), c.stored);
    }
}

TEST_F(Automation, AudioFileNameIsCopiedInAndOut) {
    for (const wchar_t* name :
         {L"C:\\Sounds\\pop.wav", L"Z:\\a folder, with \"quotes\"\\x.wav", L""}) {
        SCOPED_TRACE(Narrow(name));
        ASSERT_EQ(Agent().Put(L"AudioFileName", "s", name), S_OK);
        EXPECT_EQ(Agent().Text(L"AudioFileName"), name);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, L"AudioFileName"), name);
    }
}

// A thousand sites, as the user would paste them, stored by the settings
// service as one list; a put with a name that is no host changes nothing.
TEST_F(Automation, AllowedSitesAreStoredAsOneListAndReadBack) {
    std::wstring put, stored;
    for (int i = 0; i < 1000; ++i) {
        put += L"  Site" + std::to_wstring(i) + L".Example.COM \r\n\r\n";
        stored += (i ? L"\r\n" : L"") + (L"site" + std::to_wstring(i) + L".example.com");
    }
    ASSERT_EQ(Agent().Put(L"AllowedSites", "s", put.c_str()), S_OK);
    EXPECT_EQ(Agent().Text(L"AllowedSites"), stored);
    EXPECT_TRUE(FAILED(Agent().Put(L"AllowedSites", "s", L"ok.com\r\nnot a host")));
    EXPECT_EQ(Agent().Text(L"AllowedSites"), stored);
    LateBound reg;
    ASSERT_EQ(reg.Create(L"KrellinSvc.Registry.1", CLSCTX_LOCAL_SERVER), S_OK);
    const struct {
        const wchar_t *member, *part;
    } path[] = {{L"Company", L"Quandrel, Inc."},
                {L"Product", L"Vornix! Popup Blocker"},
                {L"Version", L"1.00.000"}};
    for (const auto& level : path)
        ASSERT_EQ(reg.Put(level.member, "s", level.part), S_OK);
    EXPECT_EQ(reg.Text(L"GetAppList", "s", L"AllowedSites"), stored) << "the service reads it back";
    std::vector<wchar_t> data(64 * 1024);
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, L"AllowedSites",
                           RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(L"site0.example.com", data.data()) << "one entry per site";
    EXPECT_EQ(Agent().Put(L"AllowedSites", "s", L""), S_OK);
}

// Never cached: every read goes to the stored value, and is shown signed.
TEST_F(Automation, BlockedCountReadsTheStoredCount) {
    LONG original = PopupRig::StoredBlockCount();
    struct {
        DWORD stored;
        LONG reads;
    } const cases[] = {{41, 41}, {0xFFFFFFFF, -1}, {0x80000000, LONG_MIN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_EQ(WriteDword(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, L"BlockCount", c.stored),
                  ERROR_SUCCESS);
        EXPECT_EQ(Agent().Long(L"BlockedCount"), c.reads);
        EXPECT_EQ(Stored(L"BlockCount"), c.stored);
    }
    WriteDword(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, L"BlockCount",
               static_cast<DWORD>(original));
}

// Objects hold no state of their own: a put through one client is what the
// other reads next.
TEST_F(Automation, TwoClientsSeeEachOthersPuts) {
    std::promise<HRESULT> otherPut;
    std::promise<void> mainPut;
    std::optional<LONG> seenByOther;
    std::thread other([&] {
        ComApartment apartment(COINIT_MULTITHREADED);
        LateBound client;
        HRESULT hr = client.Create(L"Krellin.KrellinIF.1", CLSCTX_LOCAL_SERVER);
        if (SUCCEEDED(hr)) hr = client.Put(L"KillFixedSize", "I", 0L);
        otherPut.set_value(hr);
        mainPut.get_future().wait();
        seenByOther = client.Long(L"KillFixedSize");
    });
    HRESULT hr = otherPut.get_future().get();
    std::optional<LONG> seenHere = Agent().Long(L"KillFixedSize");
    HRESULT restored = Agent().Put(L"KillFixedSize", "I", 1L);
    mainPut.set_value();
    other.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(seenHere, 0);
    EXPECT_EQ(restored, S_OK);
    EXPECT_EQ(seenByOther, 1);
}

TEST_F(Automation, ConnectionPointMapIsEmptyAcrossProcesses) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(
        Agent().Dispatch()->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()),
        S_OK);
    for (const IID* iid : {&DIID__IKrellinIFEvents, &IID_IPropertyNotifySink, &IID_IDispatch}) {
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(*iid, point.Put()), CONNECT_E_NOCONNECTION);
        EXPECT_FALSE(point);
    }
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    ASSERT_TRUE(points);
    IConnectionPoint* first = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(points->Next(1, &first, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(first, nullptr);
}

// An independent client: the scripting host, late-bound by name, every
// member of the interface, ending with Quit. Last in the suite: it ends the
// agent.
TEST_F(Automation, ScriptClientUsesEveryMemberAndQuitEndsTheAgent) {
    std::wstring script = BesideTest(L"krellin_check.js");
    DWORD code = RunAndWait(L"cscript.exe //nologo " + Quoted(script), 120000);
    EXPECT_EQ(code, 0u) << "the script found a wrong answer (or did not run: " << Narrow(script)
                        << ")";
    EXPECT_EQ(WaitForExit(Log().Process(), 20000), 0u) << "the agent did not end after Quit";
    EXPECT_FALSE(Agent().Long(L"IsServeReady")) << "a call to the ended agent answered";
}

} // namespace
