#include "EngineTestSupport.h"

namespace vx::test {
namespace {

class SettingsTest : public EngineTest {
  protected:
    // The calls whose text begins with `prefix`, in order.
    std::vector<std::wstring> Calls(const std::wstring& prefix) const {
        std::vector<std::wstring> out;
        for (const auto& c : store.calls)
            if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
        return out;
    }
};

TEST_F(SettingsTest, StartUpLoadsEverySettingInOrderWithTheDefaults) {
    shell = std::make_unique<XShell>(this);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"TopLevelKey -2147483646", L"TopFolder Software", L"Company Quandrel, Inc.",
                  L"Product Vornix! Popup Blocker", L"Version 1.00.000", L"GetAppDWORD MuteAudio 1",
                  L"GetAppString AudioFileName ", L"GetAppDWORD AllowSameSite 1",
                  L"GetAppDWORD KillFixedSize 1", L"GetAppDWORD BypassKeys 1",
                  L"GetAppDWORD AllowUserInitiated 1", L"GetAppDWORD NotifyOnBlock 1",
                  L"GetAppList AllowedSites"}),
              std::vector<std::wstring>(store.calls.begin(), store.calls.begin() + 13));
    EXPECT_EQ(1u, Calls(L"DisableMessenger").size());
    const Settings& s = shell->settings;
    EXPECT_EQ(1, s.MuteAudio & s.AllowSameSite & s.KillFixedSize & s.BypassKeys &
                     s.AllowUserInitiated & s.NotifyOnBlock);
    EXPECT_EQ(L"", s.AudioFileName);
    EXPECT_TRUE(s.AllowedSites.empty());
}

TEST_F(SettingsTest, LoadedValuesFollowTheStoreWithTheirRules) {
    struct Row {
        LONG mute;
        const wchar_t* sound;
        LONG keys;
        const wchar_t* sites;
        LONG expectMute;
        unsigned short expectKeys;
        std::vector<std::wstring> expectSites;
    } rows[] = {
        {0, L"", 6, L"", 1, 6, {}}, // no sound file: muted in memory
        {0,
         L"C:\\sounds\\ding.wav",
         0x12345,
         L"Example.com\r\nbad site\r\nexample.com\r\nb.org",
         0,
         0x2345,
         {L"example.com", L"b.org"}}, // keys keep their low 16 bits; bad names are left out
        {1, L"C:\\sounds\\ding.wav", 0, L"a.net", 1, 0, {L"a.net"}},
    };
    for (const auto& row : rows) {
        Restart();
        store.dwords = {{L"MuteAudio", row.mute}, {L"BypassKeys", row.keys}, {L"NotifyOnBlock", 0}};
        store.strings[L"AudioFileName"] = row.sound;
        store.lists[L"AllowedSites"] = row.sites;
        Start(0);
        const Settings& s = shell->settings;
        EXPECT_EQ(row.expectMute, s.MuteAudio);
        EXPECT_EQ(row.sound, s.AudioFileName);
        EXPECT_EQ(row.expectKeys, s.BypassKeys);
        EXPECT_EQ(0, s.AllowSameSite + s.NotifyOnBlock);
        EXPECT_EQ(row.expectSites, s.AllowedSites);
        EXPECT_EQ(row.mute, store.dwords[L"MuteAudio"]) << "the store changes only on a save";
    }
}

TEST_F(SettingsTest, ASaveWritesEverySettingInOrder) {
    Start();
    Settings& s = shell->settings;
    s.MuteAudio = 0;
    s.AudioFileName = L"C:\\a.wav";
    s.AllowSameSite = 0;
    s.BypassKeys = 0x0100;
    s.NotifyOnBlock = 0;
    s.AllowedSites = {L"a.com", L"b.net"};
    store.calls.clear();
    shell->SyncSettings(true);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"SetAppDWORD MuteAudio 0", L"SetAppString AudioFileName C:\\a.wav",
                  L"SetAppDWORD AllowSameSite 0", L"SetAppDWORD KillFixedSize 1",
                  L"SetAppDWORD BypassKeys 256", L"SetAppDWORD AllowUserInitiated 1",
                  L"SetAppDWORD NotifyOnBlock 0", L"SetAppList AllowedSites a.com\r\nb.net"}),
              Calls(L"Set"));
}

TEST_F(SettingsTest, SiteListsKeepPlainHostNamesOnly) {
    struct {
        const wchar_t* text;
        HRESULT hr;
        std::vector<std::wstring> sites;
    } const rows[] = {
        {L"", S_OK, {}},
        {L"  Example.COM \r\n\r\n\tb-c.org\r\nexample.com\n", S_OK, {L"example.com", L"b-c.org"}},
        {L"localhost\r\n10.0.0.1", S_OK, {L"localhost", L"10.0.0.1"}},
        {L"example.com\r\nhttp://example.com/", E_INVALIDARG, {L"kept.net"}},
        {L"exa mple.com", E_INVALIDARG, {L"kept.net"}},
        {L"-a.com", E_INVALIDARG, {L"kept.net"}},
        {L"a..com", E_INVALIDARG, {L"kept.net"}},
        {L".a.com", E_INVALIDARG, {L"kept.net"}},
        {L"a_b.com", E_INVALIDARG, {L"kept.net"}},
    };
    for (const auto& row : rows) {
        std::vector<std::wstring> sites = {L"kept.net"};
        EXPECT_EQ(row.hr, ParseSiteList(row.text, &sites)) << std::wstring(row.text).size();
        EXPECT_EQ(row.sites, sites);
    }
    std::wstring many, label(64, L'a');
    for (int i = 0; i <= 4096; ++i)
        many += L"s" + std::to_wstring(i) + L".net\n";
    std::vector<std::wstring> sites;
    EXPECT_EQ(E_INVALIDARG, ParseSiteList(many, &sites)) << "more than the service keeps";
    EXPECT_EQ(E_INVALIDARG, ParseSiteList(label + L".com", &sites)) << "a label of 64";
    EXPECT_EQ(S_OK, ParseSiteList(many, &sites, true));
    EXPECT_EQ(kMaxAllowedSites, sites.size());
}

TEST_F(SettingsTest, ReadingTheCountWritesItBackAndWraps) {
    store.dwords[L"BlockCount"] = 7;
    Start();
    EXPECT_EQ(7, shell->AddBlockCount(0));
    EXPECT_EQ(1u, Calls(L"SetAppDWORD BlockCount 7").size());
    store.dwords[L"BlockCount"] = -1;
    EXPECT_EQ(1, shell->AddBlockCount(2));
    EXPECT_EQ(1, store.dwords[L"BlockCount"]);
}

TEST_F(SettingsTest, BlocksCountedDuringAnotherCountReadAreNeverLost) {
    struct Row {
        ULONG outer; // the call that is reading: a count read (0) or a block (1)
        int nested;  // blocks counted while it waits on its read
    } rows[] = {{0, 1}, {0, 2}, {1, 1}};
    for (const auto& row : rows) {
        Restart();
        store.dwords[L"BlockCount"] = 10;
        Start();
        store.duringRead = [&] {
            for (int i = 0; i < row.nested; ++i) shell->AddBlockCount(1);
        };
        shell->AddBlockCount(row.outer);
        EXPECT_EQ(10 + static_cast<LONG>(row.outer) + row.nested, store.dwords[L"BlockCount"])
            << row.outer << " with " << row.nested << " nested";
    }
}

TEST_F(SettingsTest, WithoutTheSettingsServiceDefaultsHoldAndNothingIsWritten) {
    registry.reset();
    Start();
    EXPECT_EQ(1, shell->settings.MuteAudio & shell->settings.BypassKeys);
    EXPECT_GE(Logged("Explorer Creation Error..."), 2) << "settings load and Messenger switch";
    EXPECT_GE(Logged("Registry Invoke Error..."), 13);
    EXPECT_EQ(1, shell->AddBlockCount(1)) << "a missing count counts as 0";
    EXPECT_TRUE(store.calls.empty());
}

TEST_F(SettingsTest, BypassKeysSelectWhichHeldKeysCount) {
    Start();
    struct Row {
        unsigned short keys;
        int held;
        bool down;
    } rows[] = {
        {1, VK_CONTROL, true},     {2, VK_MENU, true},     {4, VK_SHIFT, true},
        {2, VK_CONTROL, false},    {0, VK_CONTROL, false}, {8, VK_CONTROL, false},
        {0xFFF8, VK_SHIFT, false},
    };
    for (const auto& row : rows) {
        shell->settings.BypassKeys = row.keys;
        keybd_event(static_cast<BYTE>(row.held), 0, 0, 0);
        bool down = shell->BypassKeysDown();
        keybd_event(static_cast<BYTE>(row.held), 0, KEYEVENTF_KEYUP, 0);
        EXPECT_EQ(row.down, down) << row.keys << " with " << row.held;
        EXPECT_FALSE(shell->BypassKeysDown());
    }
}

} // namespace
} // namespace vx::test
