#include "EngineTestSupport.h"

#include <tuple>

namespace vx::test {
namespace {

auto Fields(const Settings& s) {
    return std::tie(s.MuteAudio, s.AudioFileName, s.AllowSameSite, s.KillFixedSize, s.BypassKeys,
                    s.AllowUserInitiated, s.NotifyOnBlock, s.AllowedSites);
}

TEST_F(EngineTest, SettingsLoadWithTheirDefaultsUnderTheProductKeyAndAreReadBackOnceSaved) {
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"TopLevelKey -2147483646", L"TopFolder Software", L"Company Quandrel, Inc.",
                  L"Product Vornix! Popup Blocker", L"Version 1.00.000", L"GetAppDWORD MuteAudio 1",
                  L"GetAppString AudioFileName ", L"GetAppDWORD AllowSameSite 1",
                  L"GetAppDWORD KillFixedSize 1", L"GetAppDWORD BypassKeys 1",
                  L"GetAppDWORD AllowUserInitiated 1", L"GetAppDWORD NotifyOnBlock 1",
                  L"GetAppList AllowedSites", L"DisableMessenger"}),
              store.calls);
    EXPECT_EQ(Fields(Settings()), Fields(engine->settings));
    engine->settings = {0, L"C:\\a.wav", 0, 0, 0x0100, 0, 0, {L"a.com", L"b.net"}};
    const Settings saved = engine->settings;
    engine->SyncSettings(true);
    engine.reset();
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ(Fields(saved), Fields(engine->settings));
}

TEST_F(EngineTest, LoadedValuesFollowTheStoreWithTheirRules) {
    const struct {
        LONG mute;
        const wchar_t* sound;
        LONG keys;
        const wchar_t* sites;
        LONG loadedMute;
        unsigned short loadedKeys;
        std::vector<std::wstring> loadedSites;
    } rows[] = {
        {0, L"", 6, L"", 1, 6, {}}, // no sound file: muted in memory
        // Keys keep their low 16 bits; bad names are left out.
        {0,
         L"C:\\ding.wav",
         0x12345,
         L"Example.com\r\nbad site\r\nexample.com\r\nb.org",
         0,
         0x2345,
         {L"example.com", L"b.org"}},
        {1, L"C:\\ding.wav", 0, L"a.net", 1, 0, {L"a.net"}},
    };
    for (const auto& row : rows) {
        Restart();
        store.dwords = {{L"MuteAudio", row.mute}, {L"BypassKeys", row.keys}};
        store.strings[L"AudioFileName"] = row.sound;
        store.lists[L"AllowedSites"] = row.sites;
        engine = std::make_unique<XShell>(this);
        const Settings& s = engine->settings;
        EXPECT_EQ(std::tie(row.loadedMute, row.sound, row.loadedKeys, row.loadedSites),
                  std::tie(s.MuteAudio, s.AudioFileName, s.BypassKeys, s.AllowedSites));
        EXPECT_EQ(row.mute, store.dwords[L"MuteAudio"]) << "the store changes only on a save";
    }
}

TEST(SiteListTest, SiteListsKeepPlainHostNamesOnly) {
    const struct {
        std::wstring text;
        HRESULT hr;
        std::vector<std::wstring> sites;
    } rows[] = {
        {L"", S_OK, {}},
        {L"  Example.COM \r\n\r\n\tb-c.org\r\nexample.com\n", S_OK, {L"example.com", L"b-c.org"}},
        {L"localhost\r\n10.0.0.1", S_OK, {L"localhost", L"10.0.0.1"}},
        {L"example.com\r\nhttp://example.com/", E_INVALIDARG, {L"kept.net"}},
        {L"exa mple.com", E_INVALIDARG, {L"kept.net"}},
        {L"-a.com", E_INVALIDARG, {L"kept.net"}},
        {L"a..com", E_INVALIDARG, {L"kept.net"}},
        {L".a.com", E_INVALIDARG, {L"kept.net"}},
        {L"a_b.com", E_INVALIDARG, {L"kept.net"}},
        {std::wstring(64, L'a') + L".com", E_INVALIDARG, {L"kept.net"}}};
    for (const auto& row : rows) {
        std::vector<std::wstring> sites = {L"kept.net"};
        EXPECT_EQ(row.hr, ParseSiteList(row.text, &sites)) << row.text;
        EXPECT_EQ(row.sites, sites);
    }
    std::wstring many;
    for (int i = 0; i <= 4096; ++i)
        many += L"s" + std::to_wstring(i) + L".net\n";
    std::vector<std::wstring> sites;
    EXPECT_EQ(E_INVALIDARG, ParseSiteList(many, &sites)) << "more than the service keeps";
    EXPECT_EQ(S_OK, ParseSiteList(many, &sites, true));
    EXPECT_EQ(kMaxAllowedSites, sites.size());
}

TEST_F(EngineTest, TheCountIsShownSignedWrapsAndAReadWritesItBack) {
    const std::pair<LONG, const char*> rows[] = {
        {-1, "BeforeNavigate2 Event : New Popup Blocked! Total Now 0"},
        {0x7FFFFFFF, "BeforeNavigate2 Event : New Popup Blocked! Total Now -2147483648"}};
    for (const auto& [stored, line] : rows) {
        Restart();
        store.dwords[L"BlockCount"] = stored;
        Start(0);
        Popup(L"http://www.elsewhere.net/");
        EXPECT_EQ(1, Logged(line));
        EXPECT_EQ(static_cast<LONG>(static_cast<ULONG>(stored) + 1), Count());
    }
    store.calls.clear();
    EXPECT_EQ(Count(), engine->AddBlockCount(0));
    EXPECT_EQ(L"SetAppDWORD BlockCount " + std::to_wstring(Count()), store.calls.back());
}

TEST_F(EngineTest, BlocksCountedDuringAnotherCountReadAreNeverLost) {
    const struct {
        ULONG outer; // the call that is reading: a count read (0) or a block (1)
        int nested;  // blocks counted while it waits on its read
    } rows[] = {{0, 1}, {0, 2}, {1, 1}};
    for (const auto& row : rows) {
        Restart();
        store.dwords[L"BlockCount"] = 10;
        Start();
        store.duringRead = [&] {
            for (int i = 0; i < row.nested; ++i)
                engine->AddBlockCount(1);
        };
        engine->AddBlockCount(row.outer);
        EXPECT_EQ(10 + static_cast<LONG>(row.outer) + row.nested, store.dwords[L"BlockCount"])
            << row.outer << " with " << row.nested << " nested";
    }
}

TEST_F(EngineTest, WithoutTheSettingsServiceDefaultsHoldAndNothingIsWritten) {
    registry.reset();
    Start();
    EXPECT_EQ(Fields(Settings()), Fields(engine->settings));
    EXPECT_GE(Logged("Explorer Creation Error..."), 2) << "settings load and Messenger switch";
    EXPECT_GE(Logged("Registry Invoke Error..."), 13);
    EXPECT_EQ(1, engine->AddBlockCount(1)) << "a missing count counts as 0";
    EXPECT_TRUE(store.calls.empty());
}

TEST_F(EngineTest, BypassKeysSelectWhichHeldKeysCount) {
    Start();
    const struct {
        unsigned short keys;
        int held;
        bool down;
    } rows[] = {{1, VK_CONTROL, true},    {2, VK_MENU, true},     {4, VK_SHIFT, true},
                {2, VK_CONTROL, false},   {0, VK_CONTROL, false}, {8, VK_CONTROL, false},
                {0xFFF8, VK_SHIFT, false}};
    for (const auto& row : rows) {
        engine->settings.BypassKeys = row.keys;
        keybd_event(static_cast<BYTE>(row.held), 0, 0, 0);
        const bool down = engine->BypassKeysDown();
        keybd_event(static_cast<BYTE>(row.held), 0, KEYEVENTF_KEYUP, 0);
        EXPECT_EQ(row.down, down) << row.keys << " with " << row.held;
        EXPECT_FALSE(engine->BypassKeysDown());
    }
}

} // namespace
} // namespace vx::test
