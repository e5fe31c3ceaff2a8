#include "EngineTestSupport.h"

#include <tuple>

namespace vx::test {
namespace {

auto Fields(const Settings& s) {
    return std::tie(s.MuteAudio, s.AudioFileName, s.AllowSameSite, s.KillFixedSize, s.BypassKeys,
                    s.AllowUserInitiated, s.NotifyOnBlock, s.AllowedSites);
}

TEST_F(EngineTest, SettingsLoadWithTheirDefaultsAndAreReadBackOnceSaved) {
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ(L"DisableMessenger", store.calls.back()) << "once the settings are loaded";
    EXPECT_EQ(Fields(Settings()), Fields(engine->settings));
    engine->settings = {0, L"C:\\a.wav", 0, 0, 0x0100, 0, 0, {L"a.com", L"b.net"}};
    const Settings saved = engine->settings;
    engine->SyncSettings(true);
    engine.reset();
    engine = std::make_unique<XShell>(this);
    EXPECT_EQ(Fields(saved), Fields(engine->settings));
    // Loaded as stored, with their rules: no sound file is muted, the keys
    // keep their low 16 bits, and names that are not sites are left out.
    store.dwords[L"BypassKeys"] = 0x12345;
    store.strings[L"AudioFileName"] = L"";
    store.lists[L"AllowedSites"] = L"Example.com\r\nbad site\r\nexample.com\r\nb.org";
    engine->SyncSettings(false);
    EXPECT_EQ(1, engine->settings.MuteAudio);
    EXPECT_EQ(0x2345, engine->settings.BypassKeys);
    EXPECT_EQ((std::vector<std::wstring>{L"example.com", L"b.org"}), engine->settings.AllowedSites);
    EXPECT_EQ(0, store.dwords[L"MuteAudio"]) << "the store changes only on a save";
}

TEST(SiteListTest, SiteListsKeepPlainHostNamesOnly) {
    using Sites = std::vector<std::wstring>;
    const Sites kept = {L"kept.net"};
    // clang-format off
    const std::tuple<std::wstring, HRESULT, Sites> rows[] = {
        {L"", S_OK, {}}, {L"localhost\r\n10.0.0.1", S_OK, {L"localhost", L"10.0.0.1"}},
        {L"  Example.COM \r\n\r\n\tb-c.org\r\nexample.com\n", S_OK, {L"example.com", L"b-c.org"}},
        {L"example.com\r\nhttp://example.com/", E_INVALIDARG, kept},
        {L"exa mple.com", E_INVALIDARG, kept}, {L"-a.com", E_INVALIDARG, kept},
        {L"a..com", E_INVALIDARG, kept}, {L".a.com", E_INVALIDARG, kept},
        {L"a_b.com", E_INVALIDARG, kept}, {std::wstring(64, L'a') + L".com", E_INVALIDARG, kept}};
    // clang-format on
    for (const auto& [text, hr, sites] : rows) {
        Sites parsed = kept;
        EXPECT_EQ(hr, ParseSiteList(text, &parsed)) << text;
        EXPECT_EQ(sites, parsed);
    }
    std::wstring many;
    for (int i = 0; i <= 4096; ++i)
        many += L"s" + std::to_wstring(i) + L".net\n";
    Sites parsed;
    EXPECT_EQ(E_INVALIDARG, ParseSiteList(many, &parsed)) << "more than the service keeps";
    EXPECT_EQ(S_OK, ParseSiteList(many, &parsed, true));
    EXPECT_EQ(kMaxAllowedSites, parsed.size());
}

TEST_F(EngineTest, TheCountIsShownSignedWrapsAndAReadWritesItBack) {
    Start(0);
    const std::pair<LONG, const char*> rows[] = {
        {-1, "BeforeNavigate2 Event : New Popup Blocked! Total Now 0"},
        {0x7FFFFFFF, "BeforeNavigate2 Event : New Popup Blocked! Total Now -2147483648"}};
    for (const auto& [stored, line] : rows) {
        store.dwords[L"BlockCount"] = stored;
        Popup(L"http://www.elsewhere.net/");
        EXPECT_EQ(1, Logged(line));
        EXPECT_EQ(static_cast<LONG>(static_cast<ULONG>(stored) + 1), Count());
    }
    store.calls.clear();
    EXPECT_EQ(Count(), engine->AddBlockCount(0));
    EXPECT_EQ(L"SetAppDWORD BlockCount " + std::to_wstring(Count()), store.calls.back());
}

TEST_F(EngineTest, BlocksCountedDuringAnotherCountReadAreNeverLost) {
    Start();
    // The call that is reading (a count read, 0, or a block, 1), and the
    // blocks counted while it waits on its read.
    const std::pair<ULONG, int> rows[] = {{0, 1}, {0, 2}, {1, 1}};
    for (const auto& [outer, nested] : rows) {
        const LONG before = Count();
        store.duringRead = [&, nested = nested] {
            for (int i = 0; i < nested; ++i)
                engine->AddBlockCount(1);
        };
        engine->AddBlockCount(outer);
        EXPECT_EQ(before + static_cast<LONG>(outer) + nested, Count()) << outer << nested;
    }
}

TEST_F(EngineTest, WithoutTheSettingsServiceDefaultsHoldAndNothingIsWritten) {
    registry.reset();
    Start();
    EXPECT_EQ(Fields(Settings()), Fields(engine->settings));
    EXPECT_GE(Logged("Registry Invoke Error..."), 13);
    EXPECT_EQ(1, engine->AddBlockCount(1)) << "a missing count counts as 0";
    EXPECT_TRUE(store.calls.empty());
}

} // namespace
} // namespace vx::test
