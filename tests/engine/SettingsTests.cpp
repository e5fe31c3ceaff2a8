#include "PopupTestSupport.h"

namespace vx::test {
namespace {

class SettingsTest : public PopupTest {
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
    Start();
    EXPECT_EQ((std::vector<std::wstring>{
                  L"TopLevelKey -2147483646", L"TopFolder Software", L"Company Quandrel, Inc.",
                  L"Product Vornix! Popup Blocker", L"Version 1.00.000",
                  L"GetAppDWORD MuteAudio 1", L"GetAppString AudioFileName ",
                  L"GetAppDWORD AllowSameSite 1", L"GetAppDWORD KillFixedSize 1",
                  L"GetAppDWORD BypassKeys 1"}),
              std::vector<std::wstring>(store.calls.begin(), store.calls.begin() + 10));
    EXPECT_EQ(1u, Calls(L"DisableMessenger").size());
    EXPECT_EQ(1, shell->MuteAudio);
    EXPECT_EQ(1, shell->AllowSameSite);
    EXPECT_EQ(1, shell->KillFixedSize);
    EXPECT_EQ(1, shell->BypassKeys);
    EXPECT_EQ(L"", shell->AudioFileName);
}

TEST_F(SettingsTest, LoadedValuesFollowTheStoreWithTheirRules) {
    struct Row {
        LONG mute;
        const wchar_t* sound;
        LONG keys;
        LONG expectMute;
        unsigned short expectKeys;
    } rows[] = {
        {0, L"", 6, 1, 6},                      // no sound file: muted in memory
        {0, L"C:\\sounds\\ding.wav", 0x12345, 0, 0x2345}, // keys keep their low 16 bits
        {1, L"C:\\sounds\\ding.wav", 0, 1, 0},
    };
    for (const auto& row : rows) {
        store = fakes::RegistryStore();
        store.dwords[L"MuteAudio"] = row.mute;
        store.strings[L"AudioFileName"] = row.sound;
        store.dwords[L"BypassKeys"] = row.keys;
        store.dwords[L"AllowSameSite"] = 0;
        Start();
        EXPECT_EQ(row.expectMute, shell->MuteAudio);
        EXPECT_EQ(row.sound, shell->AudioFileName);
        EXPECT_EQ(row.expectKeys, shell->BypassKeys);
        EXPECT_EQ(0, shell->AllowSameSite);
        EXPECT_EQ(row.mute, store.dwords[L"MuteAudio"]) << "the store changes only on a save";
        shell.reset();
    }
}

TEST_F(SettingsTest, ASaveWritesAllFiveSettingsInOrder) {
    Start();
    shell->MuteAudio = 0;
    shell->AudioFileName = L"C:\\a.wav";
    shell->AllowSameSite = 0;
    shell->KillFixedSize = 1;
    shell->BypassKeys = 0x0100;
    store.calls.clear();
    shell->SyncSettings(true);
    EXPECT_EQ((std::vector<std::wstring>{L"SetAppDWORD MuteAudio 0",
                                         L"SetAppString AudioFileName C:\\a.wav",
                                         L"SetAppDWORD AllowSameSite 0",
                                         L"SetAppDWORD KillFixedSize 1",
                                         L"SetAppDWORD BypassKeys 256"}),
              Calls(L"Set"));
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
        ULONG outer;  // the call that is reading: a count read (0) or a block (1)
        int nested;   // blocks counted while it waits on its read
    } rows[] = {{0, 1}, {0, 2}, {1, 1}};
    for (const auto& row : rows) {
        store = fakes::RegistryStore();
        store.dwords[L"BlockCount"] = 10;
        Start();
        store.duringRead = [&] {
            for (int i = 0; i < row.nested; ++i) shell->AddBlockCount(1);
        };
        shell->AddBlockCount(row.outer);
        EXPECT_EQ(10 + static_cast<LONG>(row.outer) + row.nested, store.dwords[L"BlockCount"])
            << row.outer << " with " << row.nested << " nested";
        shell.reset();
    }
}

TEST_F(SettingsTest, WithoutTheSettingsServiceDefaultsHoldAndNothingIsWritten) {
    registry.reset();
    Start();
    EXPECT_EQ(1, shell->MuteAudio);
    EXPECT_EQ(1, shell->BypassKeys);
    EXPECT_GE(Logged("Explorer Creation Error..."), 2) << "settings load and Messenger switch";
    EXPECT_GE(Logged("Registry Invoke Error..."), 10);
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
        {1, VK_CONTROL, true}, {2, VK_MENU, true},   {4, VK_SHIFT, true},
        {2, VK_CONTROL, false}, {0, VK_CONTROL, false}, {8, VK_CONTROL, false},
        {0xFFF8, VK_SHIFT, false},
    };
    for (const auto& row : rows) {
        shell->BypassKeys = row.keys;
        keybd_event(static_cast<BYTE>(row.held), 0, 0, 0);
        bool down = shell->BypassKeysDown();
        keybd_event(static_cast<BYTE>(row.held), 0, KEYEVENTF_KEYUP, 0);
        EXPECT_EQ(row.down, down) << row.keys << " with " << row.held;
        EXPECT_FALSE(shell->BypassKeysDown());
    }
}

} // namespace
} // namespace vx::test
